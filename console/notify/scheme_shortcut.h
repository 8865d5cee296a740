#pragma once
// The desktop shortcut that starts a scheme: an XDG desktop entry running
// the program with the scheme's name as its last parameter.

#include <QString>

namespace orvel {

// The entry's text; the parameter is "\" + the name (the program drops the
// parameter's first character).
QString schemeDesktopEntry(const QString& executable, const QString& programDir,
                           const QString& schemeName, const QString& description);
// "<desktop dir>/Оповещение '<name>'.desktop", written aside then renamed
// and made executable; false when it could not be written.
bool writeSchemeShortcut(const QString& desktopDir, const QString& executable,
                         const QString& programDir, const QString& schemeName,
                         QString* path = nullptr);

}  // namespace orvel
