// The run's scheduling rules, each driven pass by pass over a scripted
// library and a hand-moved clock.

#include "core/texts.h"
#include "diag/log_cache.h"
#include "run_fixture.h"

namespace orvel::test {
namespace {

class RunRules : public RunFixture {};

TEST_F(RunRules, SameNameIsNeverCalledTwiceAtOnceAndOneNotificationCountsForBoth) {
    add("Иванов", "100");
    add("Иванов", "200");
    lib.plan["100"] = 15;
    lib.plan["200"] = 14;
    run.settings().maxAttempts = 3;
    begin();
    for (int i = 0; i < 200 && !run.finished(); ++i) {
        pass();
        int busyWithIvanov = 0;
        for (int j = 0; j < lines.Count(); ++j)
            busyWithIvanov += lines.Items(j)->Subscriber != nullptr;
        ASSERT_LE(busyWithIvanov, 1);
    }
    EXPECT_TRUE(run.finished());
    EXPECT_EQ(users.Item(0)->lastState, 14);
    EXPECT_EQ(users.Item(1)->lastState, 14);
}

TEST_F(RunRules, LineRestrictionWaitsForItsLine) {
    add("A", "100");
    add("B", "200");
    users.Item(0)->line = 2;
    lib.callPolls = 6;
    begin();
    // Line 2 is taken by someone else first: restrict B to line 2 as well.
    users.Item(1)->line = 2;
    for (int i = 0; i < 100 && !run.finished(); ++i)
        pass();
    ASSERT_EQ(lib.calls.size(), 10u);  // 5 attempts each, default result 15
    for (const auto& c : lib.calls)
        EXPECT_EQ(c.channel, 2);
}

TEST_F(RunRules, PauseBetweenAttemptsIsKeptInMinutes) {
    add("A", "100");
    run.settings().pauseMinutes = 0.5;
    run.settings().maxAttempts = 2;
    lib.callPolls = 2;
    begin();
    passesUntilFinished();
    ASSERT_EQ(lib.calls.size(), 2u);
    // The first call ended one pass after it was made.
    EXPECT_GE(lib.calls[1].at - (lib.calls[0].at + 200), 30000);
    EXPECT_LE(lib.calls[1].at - (lib.calls[0].at + 200), 30400);
}

TEST_F(RunRules, AttemptFloorHoldsBackTheOneAhead) {
    add("A", "100");
    TUserListItem& b = add("B", "200");
    b.attempts = 2;
    b.lastStateTime = clock.now().toMSecsSinceEpoch();
    begin();
    passesUntilFinished();
    // B (2 attempts) waits until A has made its second call.
    int callsToABeforeB = 0;
    for (const auto& c : lib.calls) {
        if (c.number == "200")
            break;
        ++callsToABeforeB;
    }
    EXPECT_EQ(callsToABeforeB, 2);
    EXPECT_EQ(lib.callsTo("200"), 3);
    EXPECT_EQ(users.Item(0)->attempts, 5);
}

TEST_F(RunRules, NoLineResultDoesNotUseAnAttemptAndWithdrawsTheLineWhenAsked) {
    add("A", "100");
    lib.plan["100"] = 6;
    run.settings().keepDroppedLines = false;
    run.settings().maxAttempts = 2;
    begin();
    for (int i = 0; i < 40; ++i)
        pass();
    // Each call found no line: the line is withdrawn, the next call takes the
    // next line; attempts never grow.
    EXPECT_EQ(lib.calls.size(), 4u);
    EXPECT_EQ(users.Item(0)->attempts, 0);
    for (int j = 0; j < lines.Count(); ++j) {
        EXPECT_FALSE(lines.Items(j)->Assigned);
        EXPECT_EQ(lines.Items(j)->Row.status, T(textNoLine));
    }
    EXPECT_FALSE(run.finished());
}

TEST_F(RunRules, TimeLimitEndsTheRunEvenWithCallsInProgress) {
    add("A", "100");
    lib.callPolls = 1000000;
    run.settings().timeLimitMinutes = 1;
    begin();
    pass();
    EXPECT_FALSE(run.finished());
    clock.advance(59000);
    pass();
    EXPECT_FALSE(run.finished());
    clock.advance(1000);
    pass();
    EXPECT_TRUE(run.finished());
    EXPECT_EQ(users.Item(0)->inCall, 1);
}

TEST_F(RunRules, ExcludedTimeWindowIsNeverCalledAndKeepsTheRunGoing) {
    TUserListItem& a = add("A", "100");
    a.time = parseTimeWindow(QStringLiteral("20:00-21:00"));
    ASSERT_TRUE(a.time.present);
    begin();
    for (int i = 0; i < 50; ++i)
        pass();
    EXPECT_TRUE(lib.calls.empty());
    EXPECT_FALSE(run.finished());
}

TEST_F(RunRules, TimeWindowBoundariesAdmitTheirEnds) {
    TUserListItem& a = add("A", "100");
    a.time = parseTimeWindow(QStringLiteral("12:00-12:00"));
    begin();
    pass();
    EXPECT_EQ(lib.calls.size(), 1u);
}

TEST_F(RunRules, EmptyDialStringIsRefusedNotBookedWithThePreviousResult) {
    // The line's last result is "notified" from an earlier call.
    for (auto& ch : lib.channels[0])
        ch.result = 14;
    add("A", "---");
    add("B", "100");
    run.settings().maxAttempts = 1;
    lib.refuseEmpty = true;
    begin();
    passesUntilFinished(100);
    EXPECT_TRUE(run.finished());
    const TUserListItem& a = *users.Item(0);
    EXPECT_EQ(a.lastState, 15);
    EXPECT_EQ(a.attempts, 0);
    EXPECT_TRUE(a.flags & kFlagUndialable);
    EXPECT_EQ(lib.callsTo(""), 0);
    EXPECT_EQ(run.counts().failed, 2);
    EXPECT_EQ(run.counts().notified, 0);
}

TEST_F(RunRules, ALineSlowToTakeACallNeverBooksItsPreviousResult) {
    for (auto& ch : lib.channels[0])
        ch.result = 14;  // the last calls notified
    add("A", "100");
    add("B", "200");
    lib.takeUpPolls = 2;
    lib.callPolls = 6;
    lib.plan["100"] = 16;
    run.settings().maxAttempts = 1;
    begin();
    passesUntilFinished(200);
    EXPECT_EQ(users.Item(0)->lastState, 16);
    EXPECT_EQ(users.Item(1)->lastState, 15);

    // A line that never takes the call: not notified after the grace time.
    for (auto& ch : lib.channels[0])
        ch.result = 14;
    lib.neverTakeUp = true;
    users.Item(0)->attempts = 0;
    users.Item(0)->lastState = 0;
    begin();
    passesUntilFinished(200);
    EXPECT_TRUE(run.finished());
    EXPECT_EQ(users.Item(0)->lastState, 15);
}

TEST_F(RunRules, LibraryRefusingACallBooksNothing) {
    for (auto& ch : lib.channels[0])
        ch.result = 14;
    add("A", "100");
    lib.refuseAll = true;
    begin();
    for (int i = 0; i < 5; ++i)
        pass();
    EXPECT_EQ(users.Item(0)->attempts, 0);
    EXPECT_EQ(users.Item(0)->lastState, 0);
    EXPECT_EQ(users.Item(0)->inCall, 0);
    EXPECT_FALSE(run.finished());
}

TEST_F(RunRules, NotifiedSubscriberIsDoneAndOthersUseTheirAttempts) {
    add("A", "100");
    add("B", "200");
    lib.plan["100"] = 14;
    lib.plan["200"] = 9;
    run.settings().maxAttempts = 3;
    begin();
    passesUntilFinished();
    EXPECT_EQ(lib.callsTo("100"), 1);
    EXPECT_EQ(lib.callsTo("200"), 3);
    const TRunCounts c = run.counts();
    EXPECT_EQ(c.notified, 1);
    EXPECT_EQ(c.failed, 1);
    // The line-state log holds one record per finished call.
    TLogCache cache;
    ASSERT_TRUE(cache.loadRun(lineLog.currentFile()));
    EXPECT_EQ(cache.Count(), 4);
}

TEST_F(RunRules, RepeatedRunCallsOnlyTheNotNotified) {
    add("A", "100");
    add("B", "200");
    lib.plan["100"] = 14;
    lib.plan["200"] = 16;
    run.settings().maxAttempts = 2;
    begin();
    passesUntilFinished();
    EXPECT_EQ(run.notNotifiedCount(), 1);
    run.prepareRepeat();
    EXPECT_EQ(users.Item(0)->mark, 0);
    EXPECT_EQ(users.Item(1)->mark, 1);
    EXPECT_EQ(users.Item(1)->attempts, 0);
    EXPECT_TRUE(users.Item(1)->flags & kFlagRepeated);
    lib.calls.clear();
    begin();
    passesUntilFinished();
    EXPECT_EQ(lib.callsTo("100"), 0);
    EXPECT_EQ(lib.callsTo("200"), 2);
}

TEST_F(RunRules, EngineFailureIsReportedOncePerChangeAndTheRunGoesOn) {
    add("A", "100");
    begin();
    lib.lineProgramState = 6;
    pass();
    pass();
    lib.lineProgramState = 4;
    pass();
    lib.lineProgramState = 5;
    pass();
    EXPECT_EQ(observer.failures, (std::vector<int>{6, 5}));
    EXPECT_FALSE(run.finished());
}

TEST_F(RunRules, DialStringCarriesPrefixesAndTheConfirmationMode) {
    TUserListItem& a = add("A", "(812) 555-12");
    a.confirmMethod = 2;
    lines.Items(0)->Prefix1 = 9;
    lines.Items(0)->WaitDialTone = 1;
    begin();
    pass();
    ASSERT_EQ(lib.calls.size(), 1u);
    EXPECT_EQ(lib.calls[0].number, "w9w81255512");
    EXPECT_EQ(lib.calls[0].mode, 2);
}

TEST_F(RunRules, UnobtainableNumberIsNotCalledAgainAndCountsAsNotNotified) {
    add("A", "100");
    add("B", "200");
    lib.plan["100"] = kStatusUnobtainable;
    lib.plan["200"] = 9;
    run.settings().maxAttempts = 3;
    begin();
    passesUntilFinished();
    EXPECT_EQ(lib.callsTo("100"), 1);
    EXPECT_EQ(lib.callsTo("200"), 3);
    const TRunCounts c = run.counts();
    EXPECT_EQ(c.notified, 0);
    EXPECT_EQ(c.failed, 2);
    TLogCache cache;
    ASSERT_TRUE(cache.loadRun(lineLog.currentFile()));
    bool logged = false;
    for (int i = 0; i < cache.Count(); ++i) {
        logged = logged || cache.Item(i)->stateText == QStringLiteral("Номер не существует");
    }
    EXPECT_TRUE(logged);
}

}  // namespace
}  // namespace orvel::test
