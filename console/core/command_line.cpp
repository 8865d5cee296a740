#include "core/command_line.h"

namespace orvel {

QString schemeNameFromCommandLine(const QStringList& parameters) {
    constexpr int kMaxSchemeName = 255;
    QString name;
    for (const QString& p : parameters)
        name = p.mid(1, kMaxSchemeName);
    return name;
}

}  // namespace orvel
