#include "notify/demo_setup.h"

#include <QDir>
#include <QFile>
#include <QtEndian>
#include <cmath>
#include <cstring>

#include "core/file_names.h"
#include "core/operator_rights.h"
#include "core/operators_admin.h"
#include "core/safe_file.h"
#include "data/user_group.h"
#include "data/user_list.h"
#include "notify/notify_scheme.h"

namespace orvel {

QList<TDemoSubscriber> demoSubscribers() {
    // Numbers of the simulator's plan (orvelsim.ini) and the result each
    // leads to on a line that has a dial tone.
    return {
        {QStringLiteral("Абрамов Антон"), QStringLiteral("100"), 14},
        {QStringLiteral("Борисова Вера"), QStringLiteral("101"), 14},
        {QStringLiteral("Волков Глеб"), QStringLiteral("104"), 16},
        {QStringLiteral("Григорьева Дарья"), QStringLiteral("105"), 9},
        {QStringLiteral("Дмитриев Егор"), QStringLiteral("106"), 14},
        {QStringLiteral("Егорова Жанна"), QStringLiteral("107"), 15},
        {QStringLiteral("Жуков Захар"), QStringLiteral("108"), 18},  // unobtainable
        {QStringLiteral("Зайцева Инна"), QStringLiteral("2000001"), 14},
        {QStringLiteral("Ильин Кирилл"), QStringLiteral("2000002"), 14},
        {QStringLiteral("Козлова Лидия"), QStringLiteral("2000003"), 14},
        {QStringLiteral("Лебедев Максим"), QStringLiteral("103"), 16},
        {QStringLiteral("Морозова Нина"), QStringLiteral("2000004"), 14},
    };
}

QByteArray chimeWav(int ms) {
    constexpr int kRate = 16000;
    const int samples = kRate * ms / 1000;
    QByteArray pcm(samples * 2, '\0');
    for (int i = 0; i < samples; ++i) {
        const double t = double(i) / kRate;
        const double f = (i / (kRate / 2)) % 2 ? 660.0 : 880.0;
        const double env = std::min(1.0, std::min(t, double(samples - i) / kRate) * 50);
        const auto v = qint16(6000 * env * std::sin(2 * M_PI * f * t));
        qToLittleEndian(v, pcm.data() + 2 * i);
    }
    QByteArray h(44, '\0');
    auto put32 = [&](int at, quint32 v) { qToLittleEndian(v, h.data() + at); };
    auto put16 = [&](int at, quint16 v) { qToLittleEndian(v, h.data() + at); };
    std::memcpy(h.data(), "RIFF", 4);
    put32(4, quint32(36 + pcm.size()));
    std::memcpy(h.data() + 8, "WAVEfmt ", 8);
    put32(16, 16);
    put16(20, 1);
    put16(22, 1);
    put32(24, kRate);
    put32(28, kRate * 2);
    put16(32, 2);
    put16(34, 16);
    std::memcpy(h.data() + 36, "data", 4);
    put32(40, quint32(pcm.size()));
    return h + pcm;
}

namespace {
bool writeFile(const QString& path, const QByteArray& bytes) {
    return writeFileSafely(path, bytes);
}
}  // namespace

bool prepareDemoDirectory(const QString& dir, QString* error) {
    const auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    for (const char* sub : {"Groups", "Messages/Wav", "NotifyScheme", "Reports", "Log"})
        if (!QDir().mkpath(dir + QLatin1Char('/') + QLatin1String(sub)))
            return fail(QStringLiteral("cannot create ") + dir + QLatin1Char('/') +
                        QLatin1String(sub));
    TUserList users;
    if (!users.open(dir, 0))
        return fail(QStringLiteral("cannot open the subscriber table in ") + dir);
    QList<int> ids;
    for (const TDemoSubscriber& d : demoSubscribers()) {
        int existing = -1;
        for (int k = 0; k < users.Count(); ++k)
            if (users.Item(k)->name.toString() == d.name)
                existing = k;
        if (existing < 0) {
            TUserListItem it;
            it.id = users.NextId();
            it.name.assign(d.name);
            it.phone.assign(d.phone);
            if (users.AddItem(it) < 0)
                return fail(QStringLiteral("cannot add ") + d.name);
            existing = users.Count() - 1;
        }
        ids << users.Item(existing)->id;
    }
    // The scheme keeps the message's full path: a relative one would only
    // resolve from the directory the demo was prepared in.
    const QString message =
        QDir(dir).absolutePath() + QStringLiteral("/Messages/Wav/Сообщение.wav");
    if (!writeFile(dir + QStringLiteral("/Groups/") + QString::fromUtf8(kDemoGroup) +
                       QStringLiteral(".lst"),
                   [&] {
                       QByteArray b;
                       for (int id : ids)
                           b += QByteArray::number(id) + "\r\n";
                       return b;
                   }()) ||
        !writeFile(dir + QStringLiteral("/Confirm.dat"), chimeWav(700)) ||
        !writeFile(message, chimeWav(2500)))
        return fail(QStringLiteral("cannot write the demo files"));
    TNotifyScheme scheme;
    scheme.messageFile = message;
    scheme.attempts = 2;
    scheme.pause = 0.1f;
    scheme.groups = {QString::fromUtf8(kDemoGroup)};
    scheme.timeLimit = 30;
    if (!scheme.save(dir + QStringLiteral("/NotifyScheme/") + QString::fromUtf8(kDemoScheme) +
                         QStringLiteral(".sch"),
                     dir))
        return fail(QStringLiteral("cannot write the demo scheme"));
    TOperatorsAdmin operators(findFileNoCase(dir, ProductNames().operatorsFileName()));
    if (!operators.load())
        return fail(operators.error());
    const QString demoOperator = QString::fromUtf8(kDemoOperator);
    bool present = false;
    for (const auto& row : operators.rows())
        present = present || (row.readable && row.name == demoOperator);
    if (!present &&
        (!operators.add(demoOperator, kAllRightsBits, QString::fromUtf8(kDemoOperatorPassword)) ||
         !operators.save()))
        return fail(operators.error());
    return true;
}

}  // namespace orvel
