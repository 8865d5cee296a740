#pragma once
// The operator login at start. The check itself belongs to the operators
// file; the loop reaches it only through IOperatorCheck.

#include <QString>
#include <functional>
#include <optional>

namespace orvel {

struct Credentials {
    QString name;
    QString password;
};

enum class LoginResult { Accepted, UnknownOperator, WrongPassword };

class IOperatorCheck {
public:
    virtual ~IOperatorCheck() = default;
    virtual LoginResult check(const Credentials& credentials) = 0;
};

// Stands in until operators are kept: everyone is let in.
class OpenOperatorCheck final : public IOperatorCheck {
public:
    LoginResult check(const Credentials&) override { return LoginResult::Accepted; }
};

inline constexpr char kAutoLoginVacant[] = "Vacant";

struct LoginHooks {
    // Key "AutoLogin" of section "DEVELOPER" (at most 19 characters).
    std::function<QString()> readAutoLogin;
    // The login window, modal; empty when the operator cancels.
    std::function<std::optional<Credentials>()> askCredentials;
    std::function<void(LoginResult)> showRefusal;
};

// Runs the loop until an operator is accepted (returns the credentials) or
// the login window is cancelled (returns nothing: the program ends). An
// "AutoLogin" name is tried once only: when it is refused the loop falls
// back to the login window instead of trying the same name for ever.
std::optional<Credentials> runLoginLoop(IOperatorCheck& check, const LoginHooks& hooks);

// The re-login of the window "Текущий пользователь": the login window is
// shown until a check succeeds (true) or it is cancelled (false: the current
// operator and his rights stay). Each refusal is shown and the window asked
// again.
struct ReloginHooks {
    std::function<std::optional<Credentials>()> askCredentials;
    std::function<void(LoginResult)> showRefusal;
};
bool runRelogin(IOperatorCheck& check, const ReloginHooks& hooks);

// A refused re-login: reason + "!" + line break + "Уровень доступа остаётся
// прежним" + "!".
QString reloginRefusalText(LoginResult result);

// The refusal message for a failed check: reason + "!" + line break +
// "В доступе отказано" + "!".
QString refusalText(LoginResult result);

}  // namespace orvel
