#pragma once
// A ready-made program directory for trying the system on the simulated
// boards: subscribers for every outcome of the simulator's number plan, a
// group of them, a message, the confirmation prompt and a scheme.

#include <QString>
#include <QStringList>

namespace orvel {

struct TDemoSubscriber {
    QString name;
    QString phone;
    int expected;  // the line status code the number plan leads to (a line with dial tone)
};

// The demo subscribers, in table order.
QList<TDemoSubscriber> demoSubscribers();
inline constexpr char kDemoScheme[] = "Демо";
// The demo operator, with every right; its password is published (README),
// so the demo directory is for trying the system only.
inline constexpr char kDemoOperator[] = "Оператор";
inline constexpr char kDemoOperatorPassword[] = "demo";
inline constexpr char kDemoGroup[] = "Демо";

// 16-bit mono PCM at 16000 Hz: a WAV file of `ms` milliseconds of a soft
// two-tone chime.
QByteArray chimeWav(int ms);

// Fills `dir` (created when missing): Users.dbf with the demo subscribers
// (existing ones are kept), the group, "Confirm.dat", the message, the
// scheme and the demo operator (added to the operators file unless an
// operator of that name is there already). False with `error` when something could not be written.
bool prepareDemoDirectory(const QString& dir, QString* error = nullptr);

}  // namespace orvel
