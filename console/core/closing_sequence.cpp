#include "core/closing_sequence.h"

#include "core/texts.h"

namespace orvel {

bool runClosingSequence(IMessageDialog& dialog, const ClosingHooks& hooks) {
    const uint16_t yesNo = mb::kYes | mb::kNo;
    if (dialog.show(T(textCloseProgram) + QLatin1Char('?'), T(textConfirmation), yesNo,
                    kKindConfirmation) != mb::kResultYes) {
        return false;
    }
    if (hooks.runInProgress && hooks.runInProgress()) {
        const QString text = T(textAlarmStopsOnClose) + QStringLiteral("! ") + T(textCloseProgram) +
                             QLatin1Char('?');
        if (dialog.show(text, T(textWarning), yesNo, kKindWarning) != mb::kResultYes)
            return false;
        if (hooks.stopRun)
            hooks.stopRun();
    }
    if (hooks.writeClosingLog)
        hooks.writeClosingLog();
    if (hooks.saveState)
        hooks.saveState();
    return true;
}

}  // namespace orvel
