// The run planner on cases whose answer is known by hand: one line, fixed
// call lengths (one outcome only), pauses, windows, restrictions, limits.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "data/user_list.h"
#include "diag/line_state_log.h"
#include "notify/line_status.h"
#include "notify/notify_lines.h"
#include "notify/notify_run.h"
#include "notify/plan_call_model.h"
#include "notify/plan_estimate.h"
#include "notify/run_planner.h"

namespace orvel {
namespace {

const QDateTime kTen(QDate(2026, 12, 10), QTime(10, 0));

// Every call ends in `o` after exactly `seconds`; lines handed over at once.
TPlanCallModel only(PlanOutcome o, double seconds) {
    TPlanCallModel m;
    m.share[size_t(o)] = 1.0;
    m.seconds[size_t(o)] = seconds;
    m.handOverSeconds = 0;
    return m;
}

TPlanInput input(int subscribers, int lines, PlanOutcome o, double seconds) {
    TPlanInput in;
    in.now = in.runStart = kTen;
    in.subscribers.resize(size_t(subscribers));
    in.lineEnabled.assign(size_t(lines), true);
    in.model = only(o, seconds);
    return in;
}

qint64 secondsTaken(const TPlanResult& r) {
    return kTen.secsTo(r.finish);
}

TEST(RunPlanner, OneLineCallsEveryoneInTurnAndRetriesUpToTheLimitOfAttempts) {
    TPlanInput in = input(10, 1, PlanOutcome::Confirmed, 60);
    TPlanResult r = PlanRun(in);
    ASSERT_TRUE(r.valid);
    EXPECT_EQ(secondsTaken(r), 600);
    EXPECT_DOUBLE_EQ(r.notified, 10);
    EXPECT_DOUBLE_EQ(r.calls, 10);
    EXPECT_FALSE(r.endsByLimit);
    EXPECT_NEAR(r.lineLoad[0], 1.0, 1e-9);

    // Nobody answers: three attempts each, back to back without a pause.
    in = input(10, 1, PlanOutcome::NoAnswer, 45);
    in.maxAttempts = 3;
    r = PlanRun(in);
    EXPECT_EQ(secondsTaken(r), 30 * 45);
    EXPECT_DOUBLE_EQ(r.notified, 0);
    EXPECT_DOUBLE_EQ(r.failed, 10);
    EXPECT_DOUBLE_EQ(r.calls, 30);

    // Unobtainable numbers are called once.
    in = input(4, 1, PlanOutcome::Unobtainable, 10);
    in.maxAttempts = 5;
    r = PlanRun(in);
    EXPECT_DOUBLE_EQ(r.calls, 4);
    EXPECT_EQ(secondsTaken(r), 40);
}

TEST(RunPlanner, PauseBetweenAttemptsLeavesTheLineIdleWhenNobodyElseWaits) {
    TPlanInput in = input(1, 1, PlanOutcome::Busy, 60);
    in.maxAttempts = 3;
    in.pauseMinutes = 5;
    TPlanResult r = PlanRun(in);
    EXPECT_EQ(secondsTaken(r), 60 + 300 + 60 + 300 + 60);
    EXPECT_NEAR(r.lineLoad[0], 180.0 / 780.0, 1e-6);

    // Two subscribers fill each other's pause: A B (pause of A runs during B).
    in = input(2, 1, PlanOutcome::Busy, 60);
    in.maxAttempts = 2;
    in.pauseMinutes = 1;
    r = PlanRun(in);
    EXPECT_EQ(secondsTaken(r), 4 * 60);
}

TEST(RunPlanner, TimeLimitEndsTheRunWithTheRestUncalled) {
    TPlanInput in = input(100, 2, PlanOutcome::Confirmed, 60);
    in.timeLimitMinutes = 10;
    const TPlanResult r = PlanRun(in);
    EXPECT_TRUE(r.endsByLimit);
    EXPECT_EQ(secondsTaken(r), 600);
    EXPECT_DOUBLE_EQ(r.notified, 20);  // ten calls per line
    EXPECT_DOUBLE_EQ(r.remaining, 80);
    EXPECT_TRUE(planIsWarning(r));
    EXPECT_TRUE(planSummaryText(r, 10).contains(QStringLiteral("80 из 100")));

    // During a run the limit counts from the run's start.
    TPlanInput later = input(100, 2, PlanOutcome::Confirmed, 60);
    later.timeLimitMinutes = 10;
    later.runStart = kTen.addSecs(-300);
    EXPECT_DOUBLE_EQ(PlanRun(later).notified, 10);
}

TEST(RunPlanner, TimeWindowsAndLineRestrictionsDelayOrExcludeSubscribers) {
    // A window from 10:30: the single call starts then.
    TPlanInput in = input(1, 1, PlanOutcome::Confirmed, 60);
    in.subscribers[0].windowPresent = true;
    in.subscribers[0].windowStart = 10 * 3600 + 1800;
    in.subscribers[0].windowEnd = 11 * 3600;
    TPlanResult r = PlanRun(in);
    EXPECT_EQ(r.finish.time(), QTime(10, 31));

    // A window that closes before the second attempt: the next one is the
    // following day, beyond a two-hour limit.
    in = input(1, 1, PlanOutcome::NoAnswer, 60);
    in.maxAttempts = 2;
    in.pauseMinutes = 10;
    in.timeLimitMinutes = 120;
    in.subscribers[0].windowPresent = true;
    in.subscribers[0].windowStart = 9 * 3600;
    in.subscribers[0].windowEnd = 10 * 3600 + 300;
    r = PlanRun(in);
    EXPECT_TRUE(r.endsByLimit);
    EXPECT_DOUBLE_EQ(r.calls, 1);

    // Restricted to line 2 of 3: its three calls follow one another there
    // while the other lines call the rest.
    in = input(4, 3, PlanOutcome::NoAnswer, 100);
    in.maxAttempts = 3;
    in.subscribers[0].line = 2;
    r = PlanRun(in);
    EXPECT_DOUBLE_EQ(r.calls, 12);
    EXPECT_GE(secondsTaken(r), 300);

    // Restricted to a line that is switched off: never called, and without
    // a limit the run would not end by itself.
    in = input(2, 2, PlanOutcome::Confirmed, 60);
    in.lineEnabled[1] = false;
    in.subscribers[1].line = 1;
    r = PlanRun(in);
    EXPECT_EQ(r.uncallable, 1);
    EXPECT_TRUE(r.neverEnds);
    EXPECT_TRUE(planIsWarning(r));
}

TEST(RunPlanner, AttemptFloorHoldsBackSubscribersWithMoreAttempts) {
    // B has one attempt already, A none: A goes first; then both hold one
    // attempt and A, first in the list, goes again before B.
    TPlanInput in = input(2, 1, PlanOutcome::NoAnswer, 60);
    in.maxAttempts = 2;
    in.subscribers[1].attempts = 1;
    const TPlanResult r = PlanRun(in);
    EXPECT_DOUBLE_EQ(r.calls, 3);
    EXPECT_EQ(secondsTaken(r), 180);
}

TEST(RunPlanner, SharesShowThroughOnSmallListsAndTheEstimateIsRepeatable) {
    TPlanInput in = input(12, 4, PlanOutcome::Confirmed, 60);
    in.model.share = {0.5, 0, 0.5, 0, 0};
    in.model.seconds = {60, 0, 40, 0, 0};
    in.maxAttempts = 1;
    const TPlanResult a = PlanRun(in);
    const TPlanResult b = PlanRun(in);
    EXPECT_EQ(a.finish, b.finish);
    EXPECT_NEAR(a.notified, 6.0, 1.5);
    EXPECT_DOUBLE_EQ(a.notified + a.failed, 12);
}

TEST(RunPlanner, NothingToEstimateWithoutLinesOrSubscribers) {
    TPlanInput in = input(3, 2, PlanOutcome::Confirmed, 60);
    in.lineEnabled.assign(2, false);
    EXPECT_FALSE(PlanRun(in).valid);
    EXPECT_EQ(planSummaryText(PlanRun(in), 0), QStringLiteral("Нет линий для оповещения"));
    in = input(0, 2, PlanOutcome::Confirmed, 60);
    EXPECT_FALSE(PlanRun(in).valid);
}

TEST(PlanCallModel, EarlierRunsGiveSharesAndMedianLengthsOnceThereAreEnough) {
    QTemporaryDir dir;
    QFile f(QDir(dir.path()).filePath(QStringLiteral("20261201_100000_000.log")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    // Line 0: a notified call every 50 s; line 1: a busy one every 10 s.
    for (int i = 0; i < 40; ++i) {
        TLineStateRecord r;
        r.line = 0;
        r.state = 14;
        r.time = QTime(10, 0).addSecs(50 * i).toString(QStringLiteral("hh:mm:ss"));
        r.number = QStringLiteral("w101");
        r.name = QStringLiteral("Иванов");
        f.write(r.toBytes());
        r.line = 1;
        r.state = 9;
        r.time = QTime(10, 0).addSecs(10 * i).toString(QStringLiteral("hh:mm:ss"));
        f.write(r.toBytes());
    }
    f.close();
    const TPlanTiming timing;
    const TPlanCallModel m = callModelFromLogs(dir.path(), timing, 50);
    EXPECT_TRUE(m.fromLogs);
    EXPECT_EQ(m.callsSeen, 80);
    EXPECT_DOUBLE_EQ(m.share[size_t(PlanOutcome::Confirmed)], 0.5);
    EXPECT_DOUBLE_EQ(m.share[size_t(PlanOutcome::Busy)], 0.5);
    EXPECT_DOUBLE_EQ(m.seconds[size_t(PlanOutcome::Confirmed)], 50);
    EXPECT_DOUBLE_EQ(m.seconds[size_t(PlanOutcome::Busy)], 10);
    // No answers seen: that length stays the default.
    EXPECT_DOUBLE_EQ(m.seconds[size_t(PlanOutcome::NoAnswer)],
                     defaultCallModel(timing).seconds[size_t(PlanOutcome::NoAnswer)]);

    // Too few calls: the defaults, and the report says so.
    const TPlanCallModel few = callModelFromLogs(dir.path(), timing, 500);
    EXPECT_FALSE(few.fromLogs);
    EXPECT_EQ(few.share, defaultCallModel(timing).share);
}

TEST(PlanCallModel, MessageLengthsComeFromTheWaveFiles) {
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath(QStringLiteral("m.wav"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    const quint32 dataBytes = 16000 * 2 * 3;  // three seconds, 16 kHz 16-bit mono
    QByteArray h("RIFF");
    auto u32 = [&](quint32 v) { h.append(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](quint16 v) { h.append(reinterpret_cast<const char*>(&v), 2); };
    u32(36 + dataBytes);
    h += "WAVEfmt ";
    u32(16);
    u16(1);
    u16(1);
    u32(16000);
    u32(32000);
    u16(2);
    u16(16);
    h += "data";
    u32(dataBytes);
    f.write(h);
    f.write(QByteArray(int(dataBytes), '\0'));
    f.close();
    ASSERT_TRUE(wavSeconds(path).has_value());
    EXPECT_DOUBLE_EQ(*wavSeconds(path), 3.0);
    EXPECT_FALSE(wavSeconds(dir.path() + QStringLiteral("/missing.wav")).has_value());
}

TEST(RunPlanner, ARepeatedCallEndsAsTheLastOneDidForTheRepeatShare) {
    // Half the calls are answered (60 s), half not (40 s); the subscriber's
    // first call went unanswered.
    TPlanInput in = input(1, 1, PlanOutcome::Confirmed, 60);
    in.model.share = {0.5, 0, 0.5, 0, 0};
    in.model.seconds = {60, 0, 40, 0, 0};
    in.maxAttempts = 2;
    in.subscribers[0].attempts = 1;
    in.subscribers[0].lastOutcome = int(PlanOutcome::NoAnswer);
    in.model.repeatShare = 1.0;
    TPlanResult r = PlanRun(in);
    EXPECT_DOUBLE_EQ(r.notified, 0);
    EXPECT_DOUBLE_EQ(r.failed, 1);
    EXPECT_EQ(secondsTaken(r), 40);

    // Drawn afresh: answered about every other time.
    in.model.repeatShare = 0;
    r = PlanRun(in);
    EXPECT_GT(r.notified, 0.2);
    EXPECT_LT(r.notified, 0.8);
}

TEST(PlanCallModel, EarlierRunsGiveTheUnobtainableShareAndHowOftenARetryEndsAlike) {
    QTemporaryDir dir;
    QFile f(QDir(dir.path()).filePath(QStringLiteral("20261202_100000_000.log")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    auto put = [&](int line, int state, int second, const QString& name) {
        TLineStateRecord r;
        r.line = line;
        r.state = state;
        r.time = QTime(10, 0).addSecs(second).toString(QStringLiteral("hh:mm:ss"));
        r.name = name;
        f.write(r.toBytes());
    };
    // 20 busy at first; called again, 15 are busy still and 5 notified.
    for (int i = 0; i < 20; ++i) {
        put(i, 9, 10, QStringLiteral("A%1").arg(i));
        put(i, i < 15 ? 9 : 14, 100, QStringLiteral("A%1").arg(i));
    }
    for (int i = 0; i < 10; ++i)
        put(20 + i, 18, 10, QStringLiteral("B%1").arg(i));
    f.close();
    const TPlanCallModel m = callModelFromLogs(dir.path(), TPlanTiming{}, 50);
    ASSERT_TRUE(m.fromLogs);
    EXPECT_EQ(m.callsSeen, 50);
    EXPECT_DOUBLE_EQ(m.share[size_t(PlanOutcome::Unobtainable)], 0.2);
    EXPECT_DOUBLE_EQ(m.repeatShare, 0.75);
}

// The program's objects read as the run sees them: two lines, subscribers
// added to a fresh list; every call confirmed after 30 s.
class PlanInputFromTheProgram : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(users.open(dir.path(), 0));
        ProgramStateRecord r{};
        r[0] = 1;
        r[1] = 2;
        r[3] = 2;  // one board of two lines
        lines.Create(r);
        ASSERT_EQ(lines.Count(), 2);
        request.now = kTen;
        request.maxAttempts = 3;
        request.model = only(PlanOutcome::Confirmed, 30);
    }
    TUserListItem& add(const QString& phone) {
        TUserListItem it;
        it.id = users.NextId();
        it.name.assign(QStringLiteral("Абонент ") + QString::number(it.id));
        it.phone.assign(phone);
        users.AddItem(it);
        TUserListItem& added = *users.Item(users.Count() - 1);
        added.mark = 1;
        return added;
    }
    QTemporaryDir dir;
    TUserList users;
    TORVLines lines;
    TPlanRequest request;
};

TEST_F(PlanInputFromTheProgram, SubscribersTheRunTakesAsDoneAreNeitherCalledNorWaitedFor) {
    add(QStringLiteral("100"));
    add(QStringLiteral("()-"));  // nothing to dial
    TUserListItem& gone = add(QStringLiteral("108"));
    gone.attempts = 1;
    gone.lastState = kStatusUnobtainable;  // the number does not exist
    TUserListItem& undialable = add(QStringLiteral("101"));
    undialable.flags |= kFlagUndialable;

    const TPlanResult r = PlanRun(makePlanInput(users, lines, request));
    ASSERT_TRUE(r.valid);
    EXPECT_FALSE(r.neverEnds);
    EXPECT_FALSE(planIsWarning(r));
    EXPECT_DOUBLE_EQ(r.notified, 1);
    EXPECT_DOUBLE_EQ(r.failed, 3);
    EXPECT_DOUBLE_EQ(r.calls, 1);
    EXPECT_EQ(kTen.secsTo(r.finish), 30);
}

TEST_F(PlanInputFromTheProgram, DuringARunTheLinesHeldAndTheCallsInProgressCount) {
    TUserListItem& talking = add(QStringLiteral("100"));
    add(QStringLiteral("101"));
    add(QStringLiteral("102"));
    talking.attempts = 1;
    talking.inCall = 1;
    for (int j = 0; j < 2; ++j) {
        lines.Items(j)->Enabled = 0;  // switched off since: the run keeps them
        lines.Items(j)->Assigned = true;
    }
    lines.Items(0)->Subscriber = &talking;
    request.running = true;
    request.runStart = kTen.addSecs(-60);

    // Line 0 is free half a call on (15 s) and takes the third subscriber;
    // line 1 takes the second at once.
    const TPlanResult r = PlanRun(makePlanInput(users, lines, request));
    ASSERT_TRUE(r.valid);
    EXPECT_EQ(kTen.secsTo(r.finish), 45);
    EXPECT_DOUBLE_EQ(r.notified, 3);
    EXPECT_DOUBLE_EQ(r.calls, 2);
    EXPECT_EQ(planRemainingText(r, kTen),
              QStringLiteral("Оценка: окончание около 10:01, осталось около 0:01"));

    // Not running: the enabled lines, and there are none.
    request.running = false;
    EXPECT_FALSE(PlanRun(makePlanInput(users, lines, request)).valid);
}

}  // namespace
}  // namespace orvel
