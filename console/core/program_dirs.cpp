#include "core/program_dirs.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "core/ini_file.h"

namespace orvel {

QString configDirectory(const ProductNames& names) {
    const QString env = qEnvironmentVariable("ORVEL_CONFIG_DIR");
    if (!env.isEmpty())
        return withoutTrailingDelimiter(env);
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QLatin1Char('/') + names.word;
}

QString registryFilePath(const ProductNames& names) {
    return configDirectory(names) + QStringLiteral("/registry.ini");
}

bool Registry::open() {
    const QFileInfo info(file_);
    if (!QDir().mkpath(info.absolutePath()))
        return false;
    IniFile ini(file_);
    if (!ini.load())
        return false;
    if (info.exists() && ini.sections().contains(key_, Qt::CaseInsensitive))
        return true;
    // Creating the key: an empty section marks it.
    ini.addSection(key_);
    return ini.save();
}

QString Registry::value(const QString& name) const {
    IniFile ini(file_);
    if (!ini.load())
        return {};
    return ini.value(key_, name);
}

bool Registry::setValue(const QString& name, const QString& value) {
    IniFile ini(file_);
    if (!ini.load())
        return false;
    ini.setValue(key_, name, value);
    return ini.save();
}

ProgramDirs loadProgramDirs(const QString& executableDir, const ProductNames& names,
                            const QString& registryFile) {
    ProgramDirs dirs;
    Registry reg(registryFile.isEmpty() ? registryFilePath(names) : registryFile,
                 names.registryKey());
    if (!reg.open())
        return dirs;

    auto read = [&](const char* name, const QString& def) {
        const QString v = withoutTrailingDelimiter(reg.value(QString::fromLatin1(name)).trimmed());
        return v.isEmpty() ? def : v;
    };
    dirs.fromRegistry = true;
    dirs.program = read(kRegProgramDir, withoutTrailingDelimiter(executableDir));
    dirs.reports = read(kRegReportsDir, dirs.program + QStringLiteral("/Reports"));
    dirs.groups = read(kRegGroupDir, dirs.program + QStringLiteral("/Groups"));
    dirs.wavMessages = read(kRegWavDir, dirs.program + QStringLiteral("/Messages/Wav"));
    dirs.txtMessages = read(kRegTxtDir, dirs.program + QStringLiteral("/Messages/Txt"));
    dirs.schemes = read(kRegSchemeDir, dirs.program + QStringLiteral("/NotifyScheme"));
    for (const QString* d :
         {&dirs.reports, &dirs.groups, &dirs.wavMessages, &dirs.txtMessages, &dirs.schemes}) {
        // Intermediate levels too: "Messages" must exist before "Messages/Wav".
        if (!QFileInfo::exists(*d))
            QDir().mkpath(*d);
    }
    dirs.settingsFile = findFileNoCase(dirs.program, names.settingsFileName());
    return dirs;
}

}  // namespace orvel
