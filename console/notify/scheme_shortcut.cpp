#include "notify/scheme_shortcut.h"

#include <QFile>

#include "core/safe_file.h"
#include "core/texts.h"

namespace orvel {

namespace {
// Quoted for the Exec key: inside double quotes `"`, "`", "$" and "\" take a
// backslash, and the key's own escaping doubles every backslash again.
QString execArgument(const QString& arg) {
    QString quoted;
    for (QChar c : arg) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
            c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    quoted.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}
QString oneLine(QString s) {
    return s.replace(QLatin1Char('\n'), QLatin1Char(' '))
        .replace(QLatin1Char('\r'), QLatin1Char(' '));
}
}  // namespace

QString schemeDesktopEntry(const QString& executable, const QString& programDir,
                           const QString& schemeName, const QString& description) {
    return QStringLiteral("[Desktop Entry]\nType=Application\nName=") +
           oneLine(T(textAlarm) + QStringLiteral(" '") + schemeName + QLatin1Char('\'')) +
           QStringLiteral("\nComment=") + oneLine(description) + QStringLiteral("\nExec=") +
           execArgument(executable) + QLatin1Char(' ') +
           execArgument(QLatin1Char('\\') + oneLine(schemeName)) + QStringLiteral("\nPath=") +
           oneLine(programDir) + QStringLiteral("\nIcon=") + oneLine(executable) +
           QStringLiteral("\nTerminal=false\n");
}

bool writeSchemeShortcut(const QString& desktopDir, const QString& executable,
                         const QString& programDir, const QString& schemeName, QString* path) {
    QString name = schemeName;
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    const QString file = desktopDir + QLatin1Char('/') + T(textAlarm) + QStringLiteral(" '") +
                         name + QStringLiteral("'.desktop");
    if (!writeFileSafely(
            file,
            schemeDesktopEntry(executable, programDir, schemeName, T(textAlarmStart)).toUtf8()))
        return false;
    QFile::setPermissions(file,
                          QFile::permissions(file) | QFileDevice::ExeOwner | QFileDevice::ExeUser);
    if (path)
        *path = file;
    return true;
}

}  // namespace orvel
