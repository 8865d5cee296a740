#pragma once

#include <QString>
#include <QStringList>

namespace orvel {

// The scheme named on the command line: the last parameter without its first
// character (the desktop shortcut passes "\<name>"), at most 255 characters.
// `parameters` excludes the program's own name. Empty: no scheme.
QString schemeNameFromCommandLine(const QStringList& parameters);

}  // namespace orvel
