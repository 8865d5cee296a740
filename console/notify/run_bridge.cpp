#include "notify/run_bridge.h"

#include "core/texts.h"

namespace orvel {

QString engineFailureText(int state) {
    QString text = QStringLiteral("  ");
    if (state == kStateStopped)
        text += T(textProgramIsNotRunning) + QStringLiteral(" !");
    else if (state == kStateNoBoard)
        text += T(textDeviceNotFound) + QStringLiteral("!");
    else
        text += T(textDeviceError) + QStringLiteral(" (") + QString::number(state) +
                QStringLiteral(")!");
    return text;
}

}  // namespace orvel
