#include "soak_directory.h"

#include <QDir>
#include <QFile>
#include <QTextStream>

#include "data/user_list.h"
#include "notify/demo_setup.h"
#include "notify/notify_scheme.h"

namespace orvel::soak {

namespace {

bool fail(QString* error, const QString& why) {
    if (error)
        *error = why;
    return false;
}

// The [Plan] section of the demo's simulator file, as it stands.
QString demoPlanSection(const QString& simIni, QString* error) {
    QFile f(simIni);
    if (!f.open(QIODevice::ReadOnly)) {
        fail(error, QStringLiteral("cannot read ") + simIni);
        return {};
    }
    const QString text = QString::fromUtf8(f.readAll());
    const qsizetype at = text.indexOf(QLatin1String("\n[Plan]"));
    if (at < 0) {
        fail(error, QStringLiteral("no [Plan] section in ") + simIni);
        return {};
    }
    return text.mid(at + 1);
}

}  // namespace

QStringList demoPlanNumbers() {
    // 100..110 and a city number behind the outside-line prefix, but not
    // 109: the simulated exchange keeps a line it dropped dead until the
    // board lets it go, so every such call would take a line out of all
    // further runs (a dying line is tested on its own).
    QStringList numbers;
    for (int n = 100; n <= 110; ++n)
        if (n != 109)
            numbers << QString::number(n);
    numbers << QStringLiteral("2000010");
    return numbers;
}

bool prepareSoakDirectory(const TSoakDirectory& d, QString* error) {
    if (!QDir().mkpath(d.dir))
        return fail(error, QStringLiteral("cannot create ") + d.dir);
    for (const char* name : {"orvel.fis", "report.dat"}) {
        const QString to = d.dir + QLatin1Char('/') + QLatin1String(name);
        QFile::remove(to);
        if (!QFile::copy(d.dataDir + QLatin1Char('/') + QLatin1String(name), to))
            return fail(error, QStringLiteral("cannot copy ") + QLatin1String(name) +
                                   QStringLiteral(" from ") + d.dataDir);
    }
    const QString plan = demoPlanSection(d.dataDir + QStringLiteral("/orvelsim.ini"), error);
    if (plan.isEmpty())
        return false;
    {
        QFile drv(d.dir + QStringLiteral("/orveldrv.ini"));
        QFile sim(d.dir + QStringLiteral("/orvelsim.ini"));
        if (!drv.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            !sim.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return fail(error, QStringLiteral("cannot write the driver files in ") + d.dir);
        drv.write("[Driver]\nModule=liborvelsim.so\n");
        QTextStream s(&sim);
        // One second of each line's audio is kept: the record is for tests
        // that look into a call, the soak only counts.
        s << "[Driver]\nModule=liborvelsim.so\n\n[Simulator]\nSpeed=1\nAdcRate=100\n"
             "NoiseDbm0=-65\nToneDbm0=-10\nRecordSeconds=1\nDigitTimeout=4\n\n";
        for (int b = 0; b < d.boards; ++b)
            s << "[Board" << b << "]\nUnits=6,6,6\n\n";
        s << plan;
        s.flush();
        if (s.status() != QTextStream::Ok || !sim.flush())
            return fail(error, QStringLiteral("cannot write ") + sim.fileName());
    }
    if (!prepareDemoDirectory(d.dir, error))
        return false;

    TUserList users;
    if (!users.open(d.dir, 0))
        return fail(error, QStringLiteral("cannot open the subscriber table in ") + d.dir);
    const QStringList numbers = demoPlanNumbers();
    for (int k = users.Count(); k < d.subscribers; ++k) {
        TUserListItem it;
        it.id = users.NextId();
        it.name.assign(QStringLiteral("Абонент %1").arg(k + 1, 4, 10, QLatin1Char('0')));
        it.phone.assign(numbers[k % numbers.size()]);
        if (users.AddItem(it) < 0)
            return fail(error, QStringLiteral("cannot add subscriber %1").arg(k + 1));
    }

    const QString schemePath = d.dir + QStringLiteral("/NotifyScheme/") +
                               QString::fromUtf8(kDemoScheme) + QStringLiteral(".sch");
    auto scheme = TNotifyScheme::load(schemePath);
    if (!scheme)
        return fail(error, QStringLiteral("cannot read ") + schemePath);
    scheme->attempts = d.attempts;
    if (!scheme->save(schemePath))
        return fail(error, QStringLiteral("cannot write ") + schemePath);
    return true;
}

}  // namespace orvel::soak
