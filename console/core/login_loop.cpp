#include "core/login_loop.h"

#include "core/texts.h"

namespace orvel {

QString refusalText(LoginResult result) {
    const QString reason =
        result == LoginResult::WrongPassword ? T(textPasswordIncorrect) : T(textUserNotFound);
    return reason + QStringLiteral("!\n") + T(textAccessDenied) + QLatin1Char('!');
}

QString reloginRefusalText(LoginResult result) {
    const QString reason =
        result == LoginResult::WrongPassword ? T(textPasswordIncorrect) : T(textUserNotFound);
    return reason + QStringLiteral("!\n") + T(textAccessLevelRemains) + QLatin1Char('!');
}

bool runRelogin(IOperatorCheck& check, const ReloginHooks& hooks) {
    for (;;) {
        const auto asked = hooks.askCredentials ? hooks.askCredentials() : std::nullopt;
        if (!asked)
            return false;
        const LoginResult r = check.check(*asked);
        if (r == LoginResult::Accepted)
            return true;
        if (hooks.showRefusal)
            hooks.showRefusal(r);
    }
}

std::optional<Credentials> runLoginLoop(IOperatorCheck& check, const LoginHooks& hooks) {
    QString autoName = hooks.readAutoLogin ? hooks.readAutoLogin() : QString();
    if (autoName.isEmpty())
        autoName = QString::fromLatin1(kAutoLoginVacant);
    bool tryAuto = autoName != QLatin1String(kAutoLoginVacant);
    for (;;) {
        Credentials c;
        if (tryAuto) {
            c.name = autoName;
            tryAuto = false;
        } else {
            const auto asked = hooks.askCredentials ? hooks.askCredentials() : std::nullopt;
            if (!asked)
                return std::nullopt;
            c = *asked;
        }
        const LoginResult r = check.check(c);
        if (r == LoginResult::Accepted)
            return c;
        if (hooks.showRefusal)
            hooks.showRefusal(r);
    }
}

}  // namespace orvel
