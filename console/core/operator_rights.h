#pragma once
// The current operator's rights: the one place every window asks whether a
// command is offered. Until an operator logs in through the operators file,
// every right is granted (the program's behaviour before logins existed).

#include <QObject>
#include <QString>
#include <array>
#include <cstdint>

namespace orvel {

// The rights of the operators file, by bit.
enum class OperatorRight : std::uint16_t {
    Administrator = 0x001,
    Interface = 0x004,
    StartNotification = 0x008,
    ChangeBase = 0x010,
    ChangeLineParams = 0x020,
    ViewReports = 0x040,
    ChangeGroups = 0x080,
    ChangeNotifyParams = 0x100,
    ExportRecords = 0x200,
};

// Every right, in the order the window "Текущий пользователь" lists them.
inline constexpr std::array<OperatorRight, 9> kRightsListOrder = {
    OperatorRight::Administrator,     OperatorRight::StartNotification,
    OperatorRight::ChangeBase,        OperatorRight::ChangeLineParams,
    OperatorRight::ChangeGroups,      OperatorRight::ChangeNotifyParams,
    OperatorRight::ViewReports,       OperatorRight::Interface,
    OperatorRight::ExportRecords,
};

inline constexpr std::uint16_t kAllRightsBits = 0x001 | 0x004 | 0x008 | 0x010 | 0x020 |
                                                0x040 | 0x080 | 0x100 | 0x200;

// Windows query `has()` when they build and connect to `changed()` to show or
// hide their commands again after a re-login.
class TOperatorRights : public QObject {
    Q_OBJECT
public:
    explicit TOperatorRights(QObject* parent = nullptr) : QObject(parent) {}

    bool has(OperatorRight right) const {
        return (bits_ & static_cast<std::uint16_t>(right)) != 0;
    }
    std::uint16_t bits() const { return bits_; }
    const QString& operatorName() const { return name_; }

    // A successful login: the operator's name and rights bit set (bit 0x002
    // and bits beyond the table carry no meaning and are dropped).
    void set(const QString& name, std::uint16_t bits) {
        name_ = name;
        bits_ = bits & kAllRightsBits;
        emit changed();
    }
    // Every right, no name: no operators file has been consulted.
    void grantAll() { set(QString(), kAllRightsBits); }

signals:
    void changed();

private:
    QString name_;
    std::uint16_t bits_ = kAllRightsBits;
};

}  // namespace orvel
