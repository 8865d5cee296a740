#pragma once
// The six program directories and the settings file path, read at start from
// the program's registry key. On this platform the key is the section
// "SOFTWARE\<product word>" of an ini file in the user's configuration
// directory ($ORVEL_CONFIG_DIR when set, for tests and portable installs).

#include <QString>

#include "core/file_names.h"

namespace orvel {

struct ProgramDirs {
    QString program;
    QString reports;
    QString groups;
    QString wavMessages;
    QString txtMessages;
    QString schemes;
    QString settingsFile = QStringLiteral("Settings.ini");
    // False when the key could not be opened: no directory is set.
    bool fromRegistry = false;
};

// Registry value names, as the key stores them.
inline constexpr char kRegProgramDir[] = "ProgrammDirectory";
inline constexpr char kRegReportsDir[] = "ReportsDirectory";
inline constexpr char kRegGroupDir[] = "GroupDirectory";
inline constexpr char kRegWavDir[] = "WavMessageDirectory";
inline constexpr char kRegTxtDir[] = "TxtMessageDirectory";
inline constexpr char kRegSchemeDir[] = "NotifySchemeDirectory";

// Directory holding the registry file, the instance lock and other per-user
// state: $ORVEL_CONFIG_DIR, or <XDG config>/<product word>.
QString configDirectory(const ProductNames& names = {});
QString registryFilePath(const ProductNames& names = {});

class Registry {
public:
    explicit Registry(QString file, QString key) : file_(std::move(file)), key_(std::move(key)) {}
    // Opens the key, creating the file and the key when missing.
    bool open();
    QString value(const QString& name) const;
    bool setValue(const QString& name, const QString& value);

private:
    QString file_;
    QString key_;
};

// Reads the six directories with their defaults, creates the five below the
// program directory when missing (one level, failures ignored) and fixes the
// settings file path. Without a usable key everything stays unset.
ProgramDirs loadProgramDirs(const QString& executableDir, const ProductNames& names = {},
                            const QString& registryFile = QString());

}  // namespace orvel
