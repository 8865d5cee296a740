// The planner's estimate made at the start of a run against the run's actual
// end, on the simulated boards in real time. Three runs of different shapes:
//   few      - few subscribers on many lines (the retries make the length);
//   many     - many subscribers on few lines (the queue makes it);
//   window   - a time window that closes while the run goes, and a time
//              limit that ends it with the rest uncalled.
// Prints for each the estimated and the actual duration, their difference as
// a share of the actual one, and the notified counts; exits with 1 when a
// run's estimate is off by more than 15 %.
//
//   console_plan_accuracy [few|many|window ...] [--keep DIR]
//
// The runs take some minutes each and must not be starved: start it at
// normal priority.

#include <sys/resource.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

#include "core/confirm_methods.h"
#include "core/cp1251.h"
#include "core/file_names.h"
#include "core/settings_manager.h"
#include "data/user_group.h"
#include "data/user_list.h"
#include "diag/line_state_log.h"
#include "notify/demo_setup.h"
#include "notify/library_setup.h"
#include "notify/line_status.h"
#include "notify/notify_lines.h"
#include "notify/notify_run.h"
#include "notify/notify_scheme.h"
#include "notify/orvel_line_library.h"
#include "notify/plan_call_model.h"
#include "notify/plan_estimate.h"

using namespace orvel;

namespace {

// The number plan: numbers are prefix + four digits; shares of every 20, as
// the planner's defaults take them (confirmed, answered without confirming,
// never answered, busy, unobtainable).
struct Behaviour {
    const char* prefix;
    const char* plan;
    int share;
};
const Behaviour kBehaviours[] = {
    {"3", "answer rings=2 say=\"Алло.\" key=9 keyat=end2", 12},
    {"7", "answer rings=2 say=\"Слушаю.\" key=9 keyat=3", 2},
    {"6", "noanswer", 3},
    {"5", "busy", 2},
    {"8", "unobtainable", 1},
};

struct Shape {
    const char* name;
    int subscribers;
    QByteArray units;  // of one board
    int boards;
    int attempts;
    double pause;
    int timeLimit;
    int windowed;       // the first ones get a window closing...
    int windowCloseIn;  // ...this many seconds after the start
};

const Shape kShapes[] = {
    {"few", 12, "6,6,6", 2, 3, 0.5, 0, 0, 0},
    {"many", 60, "5", 1, 2, 0.2, 0, 0, 0},
    {"window", 40, "4", 1, 2, 0.2, 6, 20, 120},
};

QByteArray simulatorConfig(const Shape& s) {
    QByteArray ini =
        "[Driver]\nModule=liborvelsim.so\n\n[Simulator]\nSpeed=1\nAdcRate=100\n"
        "NoiseDbm0=-65\nToneDbm0=-10\nRecordSeconds=0\nDigitTimeout=4\n\n"
        "[Lines]\nIdleVolts=48\nOffHookVolts=8\nParallelVolts=10\nEchoDb=-100\n\n";
    for (int b = 0; b < s.boards; ++b)
        ini += "[Board" + QByteArray::number(b) + "]\nUnits=" + s.units + "\n\n";
    ini += "[Plan]\nDefault=unobtainable\n";
    for (const Behaviour& k : kBehaviours)
        ini += QByteArray(k.prefix) + "XXXX=" + k.plan + "\n";
    return ini;
}

bool writeFile(const QString& path, const QByteArray& data) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size();
}

bool copyTree(const QString& from, const QString& to) {
    QDirIterator it(from, QDir::Files | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString src = it.next();
        const QString dst = to + src.mid(from.size());
        QDir().mkpath(QFileInfo(dst).path());
        if (!QFile::copy(src, dst))
            return false;
    }
    return true;
}

double cpuSeconds() {
    rusage use{};
    ::getrusage(RUSAGE_SELF, &use);
    return double(use.ru_utime.tv_sec + use.ru_stime.tv_sec) +
           double(use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e6;
}

class EndObserver final : public IRunObserver {
public:
    void runEnded() override {
        std::lock_guard lock(mutex_);
        ended_ = true;
        cv_.notify_all();
    }
    bool wait(int ms) {
        std::unique_lock lock(mutex_);
        return cv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return ended_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool ended_ = false;
};

// The program directory of one shape: the demo's files, our boards, our
// subscribers in the demo group, the scheme's values.
bool prepareSite(const Shape& s, const QString& dir, QString* error) {
    if (!copyTree(QStringLiteral(ORVEL_DEMO_DIR), dir)) {
        *error = QStringLiteral("cannot copy the demo directory");
        return false;
    }
    for (const char* gone : {"/Users.dbf", "/orvelsim.log"})
        QFile::remove(dir + QLatin1String(gone));
    QDir(dir + QStringLiteral("/Log")).removeRecursively();
    QDir(dir + QStringLiteral("/Reports")).removeRecursively();
    if (!prepareDemoDirectory(dir, error))
        return false;
    if (!writeFile(dir + QStringLiteral("/orvelsim.ini"), simulatorConfig(s))) {
        *error = QStringLiteral("cannot write orvelsim.ini");
        return false;
    }
    QFile::remove(dir + QStringLiteral("/Users.dbf"));
    TUserList users;
    if (!users.open(dir, 0)) {
        *error = QStringLiteral("cannot create the subscriber table");
        return false;
    }
    // The run starts a few seconds after this.
    const int closeAt =
        (QTime::currentTime().msecsSinceStartOfDay() / 1000 + s.windowCloseIn) % 86400;
    QByteArray group;
    for (int i = 0; i < s.subscribers; ++i) {
        const int slot = (i * 7) % 20;  // spread, so that short lists meet every kind
        int at = 0;
        const Behaviour* k = &kBehaviours[0];
        for (const Behaviour& b : kBehaviours) {
            if (slot < at + b.share) {
                k = &b;
                break;
            }
            at += b.share;
        }
        TUserListItem it;
        it.id = users.NextId();
        it.name.assign(QStringLiteral("Абонент %1").arg(i + 1, 3, 10, QLatin1Char('0')));
        it.phone.assign(QLatin1String(k->prefix) +
                        QStringLiteral("%1").arg(i, 4, 10, QLatin1Char('0')));
        if (i < s.windowed) {
            it.time.present = true;
            it.time.start = 0;
            it.time.end = closeAt;
        }
        if (users.AddItem(it) < 0) {
            *error = QStringLiteral("cannot add a subscriber");
            return false;
        }
        group += QByteArray::number(it.id) + "\r\n";
    }
    const QString groupFile =
        dir + QStringLiteral("/Groups/") + QString::fromUtf8(kDemoGroup) + QStringLiteral(".lst");
    const QString schemeFile = dir + QStringLiteral("/NotifyScheme/") +
                               QString::fromUtf8(kDemoScheme) + QStringLiteral(".sch");
    auto scheme = TNotifyScheme::load(schemeFile);
    if (!writeFile(groupFile, group) || !scheme) {
        *error = QStringLiteral("cannot write the group or read the scheme");
        return false;
    }
    scheme->attempts = s.attempts;
    scheme->pause = float(s.pause);
    scheme->timeLimit = s.timeLimit;
    if (!scheme->save(schemeFile)) {
        *error = QStringLiteral("cannot write the scheme");
        return false;
    }
    return true;
}

QString minutes(double seconds) {
    const int s = int(std::lround(seconds));
    return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}

// One run: the estimate as the runner makes it at the start, then the run.
// Returns the estimate's error as a share of the actual duration.
std::optional<double> runShape(const Shape& s, const QString& dir) {
    QString error;
    if (!prepareSite(s, dir, &error)) {
        std::printf("%s: %s\n", s.name, qPrintable(error));
        return std::nullopt;
    }
    SettingsManager settings(findFileNoCase(dir, QStringLiteral("ORVEL.ini")));
    TLineStateLog lineLog(dir);
    TConfirmMethodManager confirm;
    confirm.load(settings);
    TUserList users(&settings);
    if (!users.open(dir, settings.readInt(SID_CRYPT_MODE, 0)))
        return std::nullopt;
    const QString schemeFile = dir + QStringLiteral("/NotifyScheme/") +
                               QString::fromUtf8(kDemoScheme) + QStringLiteral(".sch");
    const auto scheme = TNotifyScheme::load(schemeFile);
    TUserGroup groups;
    groups.SetGroupDirectory(dir + QStringLiteral("/Groups"));
    for (int k = 0; k < users.Count(); ++k)
        users.Item(k)->mark = 0;
    groups.LoadGroups(scheme->groups, users, true);
    users.ClearRunFields();

    auto lib = makeOrvelLineLibrary();
    TORVLines lines;
    const TLibrarySetup setup = setUpLineLibrary(
        *lib, dir, dir + QStringLiteral("/OrvelDll.log"), settings, lines,
        [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); });
    if (!setup.ready) {
        std::printf("%s: the line library did not come up: %s\n", s.name,
                    qPrintable(setup.errors.join(QStringLiteral("; "))));
        lib->ShutdownDll();
        return std::nullopt;
    }

    TPlanRequest pr;
    pr.maxAttempts = scheme->attempts;
    pr.pauseMinutes = scheme->pause;
    pr.timeLimitMinutes = scheme->timeLimit;
    pr.programDir = dir;
    pr.messageFile = scheme->messageFile;
    pr.confirmFile = findFileNoCase(dir, QStringLiteral("Confirm.dat"));
    pr.now = QDateTime::currentDateTime();
    const double cpuBefore = cpuSeconds();
    const TPlanInput planInput = makePlanInput(users, lines, pr);
    const TPlanResult plan = PlanRun(planInput);
    const double planCpu = cpuSeconds() - cpuBefore;

    TSystemClock clock;
    TNotifyRun run(*lib, lines, users, clock, &lineLog);
    EndObserver observer;
    run.setObserver(&observer);
    run.setConfirmMethods(&confirm);
    run.setSettingsStore(&settings);
    TRunSettings rs;
    rs.programDir = dir;
    rs.maxAttempts = scheme->attempts;
    rs.pauseMinutes = scheme->pause;
    rs.timeLimitMinutes = scheme->timeLimit;
    rs.messageFile = scheme->messageFile;
    readRunSwitches(settings, rs);
    run.settings() = rs;
    const TStartOutcome started = run.StartRun();
    if (started.error != StartError::None) {
        std::printf("%s: %s\n", s.name, qPrintable(started.message));
        lib->ShutdownDll();
        return std::nullopt;
    }
    while (!observer.wait(200)) {
    }
    const QDateTime end = QDateTime::currentDateTime();
    lines.ReleaseAll(*lib);
    run.StopRun();
    lib->ShutdownDll();

    int notified = 0, marked = 0;
    for (int k = 0; k < users.Count(); ++k) {
        marked += users.Item(k)->mark;
        notified += users.Item(k)->mark && users.Item(k)->lastState == kStatusNotified;
    }
    const double estimated = pr.now.msecsTo(plan.finish) / 1000.0;
    const double actual = pr.now.msecsTo(end) / 1000.0;
    const double share = actual > 0 ? (estimated - actual) / actual : 0;
    std::printf(
        "%-7s %3d subscribers, %3d lines, attempts %d, pause %.1f min, limit %d min: "
        "estimated %s, actual %s (%+.1f %%); notified estimated %.1f, actual %d of %d; "
        "model from %s; estimate took %.1f ms of processor time\n",
        s.name, marked, int(lines.Count()), s.attempts, s.pause, s.timeLimit,
        qPrintable(minutes(estimated)), qPrintable(minutes(actual)), share * 100.0, plan.notified,
        notified, marked, plan.fromLogs ? "logs" : "defaults", planCpu * 1000.0);
    // What this run's own log says a call of each outcome took, beside what
    // the estimate assumed (the medians of the gaps between a line's records).
    const TPlanCallModel seen = callModelFromLogs(dir + QStringLiteral("/Log"), TPlanTiming{}, 1);
    const char* names[kPlanOutcomes] = {"confirmed", "not confirmed", "no answer", "busy",
                                        "unobtainable"};
    std::printf("        call lengths assumed/seen (s):");
    for (int o = 0; o < kPlanOutcomes; ++o)
        std::printf(" %s %.0f/%.0f", names[o], planInput.model.seconds[size_t(o)],
                    seen.seconds[size_t(o)]);
    std::printf("; repeats assumed %.2f, seen %.2f\n", planInput.model.repeatShare,
                seen.repeatShare);
    std::fflush(stdout);
    return share;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList wanted;
    QString keep;
    const QStringList args = app.arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--keep") && i + 1 < args.size())
            keep = args[++i];
        else
            wanted << args[i];
    }
    QTemporaryDir tmp;
    const QString root = keep.isEmpty() ? tmp.path() : keep;
    int failures = 0;
    const QDateTime start = QDateTime::currentDateTime();
    for (const Shape& s : kShapes) {
        if (!wanted.isEmpty() && !wanted.contains(QLatin1String(s.name)))
            continue;
        const auto share = runShape(s, root + QLatin1Char('/') + QLatin1String(s.name));
        if (!share || std::fabs(*share) > 0.15)
            ++failures;
    }
    double load[3] = {0, 0, 0};
    if (getloadavg(load, 3) < 0)
        load[0] = -1;
    std::printf("wall %.0f s, processor time %.1f s, load average %.2f %.2f %.2f\n",
                start.msecsTo(QDateTime::currentDateTime()) / 1000.0, cpuSeconds(), load[0],
                load[1], load[2]);
    return failures == 0 ? 0 : 1;
}
