#pragma once
// CheckOperator: the entered name and password against the operators file,
// the current operator record it fills, and the system-log entries of every
// check. Windows reach it through IOperatorCheck (the login loops) and learn
// the result through the hooks; the rights object is set by the caller.

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

#include "core/login_loop.h"
#include "core/operator_rights.h"
#include "core/operators_file.h"

namespace orvel {

// The operator logged in: name, password as entered, the nine flags of the
// rights bits and the record's two kept values.
struct TCurrentOperator {
    QString name;
    QString password;
    bool administrator = false;
    bool interface = false;
    bool startNotification = false;
    bool changeBase = false;
    bool changeLineParams = false;
    bool viewReports = false;
    bool changeGroups = false;
    bool changeNotifyParams = false;
    bool exportRecords = false;
    std::uint16_t value1 = 0;
    std::uint16_t value2 = 0;

    static TCurrentOperator fromRecord(const Credentials& entered, const TOperatorFileRecord& r);
    // The flags as rights bits again (bit 0x002 and unknown bits are gone).
    std::uint16_t rightsBits() const;
};

class TOperatorCheck final : public IOperatorCheck {
public:
    explicit TOperatorCheck(QString operatorsFile) : path_(std::move(operatorsFile)) {}

    // The file could not be read: the message text to show (an error).
    std::function<void(const QString&)> showReadError;
    // A system-log entry (text, event class).
    std::function<void(const QString&, int)> writeLog;
    // A check succeeded; called before its log entry, so that the entry
    // already carries the new operator's name.
    std::function<void(const TCurrentOperator&)> onAccepted;

    LoginResult check(const Credentials& credentials) override;
    // Empty until the first successful check; a failed check leaves it.
    const std::optional<TCurrentOperator>& current() const { return current_; }
    const QString& path() const { return path_; }

    // "Ошибка чтения файла с паролями! " + line break + the file's name.
    static QString readErrorText(const QString& path);

private:
    QString path_;
    std::optional<TCurrentOperator> current_;
};

}  // namespace orvel
