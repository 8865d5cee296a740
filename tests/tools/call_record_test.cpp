// Reading the simulator's record of a call: the hang-ups that the line cannot
// tell from a confirmation by hang-up are set apart, and nothing else is.
#include <gtest/gtest.h>

#include "call_record.h"

namespace {

using orvel::sim::LineRecord;
using orvel::tools::callTimes;
using orvel::tools::hangUpTheLineCannotTell;

// A call answered at 9.3 s: message 12..22 s, prompt 24..26 s, beep
// 31..31.5 s; the subscriber hangs up at `hangUp`, busy begins at `busy`.
LineRecord call(double hangUp, double busy, bool busyAtOnce = false) {
    LineRecord r;
    r.events = {{3.0, "seized"},
                {7.3, "connecting -> ringing"},
                {9.3, "ringing -> connected (subscriber answered)"},
                {22.8, "sound 1 ended"}};
    if (busyAtOnce) {
        r.events.push_back({hangUp, "connected -> busy (subscriber hung up)"});
    } else {
        r.events.push_back({hangUp, "connected -> hung up (subscriber hung up)"});
        r.events.push_back({busy, "hung up -> busy"});
    }
    r.events.push_back({busy + 3, "busy -> on hook (released by the board)"});
    r.sounds = {{12.0, 22.0}, {24.0, 26.0}, {31.0, 31.5}};
    return r;
}

TEST(CallRecord, EarlyHangUpWithBusyFromTheBeepOnIsSetApartAndNothingElse) {
    // Hung up after the message, silence, busy once the beep is over: the
    // busy falls in the confirmation window.
    for (double busy : {31.5, 31.6, 33.0, 40.0}) {
        const auto t = callTimes(call(22.5, busy));
        EXPECT_DOUBLE_EQ(t.answered, 9.3);
        EXPECT_DOUBLE_EQ(t.hungUp, 22.5);
        EXPECT_DOUBLE_EQ(t.busyFrom, busy);
        EXPECT_DOUBLE_EQ(t.beepFrom, 31.0);
        EXPECT_DOUBLE_EQ(t.beepTo, 31.5);
        EXPECT_TRUE(hangUpTheLineCannotTell(t)) << "busy from " << busy;
    }
    // Busy before the beep or while it plays: there was busy on the line
    // before the confirmation window, so the call is judged like any other.
    for (double busy : {23.0, 25.0, 30.3, 31.0, 31.26, 31.49}) {
        EXPECT_FALSE(hangUpTheLineCannotTell(callTimes(call(22.5, busy)))) << busy;
    }
    // Busy at once on hanging up before the beep.
    EXPECT_FALSE(hangUpTheLineCannotTell(callTimes(call(22.5, 22.5, true))));
    // A listener who hangs up after the beep confirms; not set apart either.
    EXPECT_FALSE(hangUpTheLineCannotTell(callTimes(call(32.0, 32.0, true))));
    EXPECT_FALSE(hangUpTheLineCannotTell(callTimes(call(32.0, 35.0))));
}

TEST(CallRecord, TheBeepIsTheThirdSoundAfterTheAnswerAndOnlyIfItLooksLikeOne) {
    // A sound left over from the call before does not count.
    LineRecord r = call(22.5, 33.0);
    r.sounds.insert(r.sounds.begin(), {1.0, 1.5});
    auto t = callTimes(r);
    EXPECT_DOUBLE_EQ(t.beepFrom, 31.0);
    EXPECT_TRUE(hangUpTheLineCannotTell(t));
    // The engine hung up before its beep: no beep, nothing set apart.
    r = call(22.5, 33.0);
    r.sounds.pop_back();
    t = callTimes(r);
    EXPECT_LT(t.beepTo, 0);
    EXPECT_FALSE(hangUpTheLineCannotTell(t));
    // A third sound of 2 s is no beep.
    r = call(22.5, 33.0);
    r.sounds.back() = {31.0, 33.0};
    EXPECT_FALSE(hangUpTheLineCannotTell(callTimes(r)));
    // Never answered: nothing to read.
    LineRecord none;
    none.events = {{3.0, "seized"}, {9.0, "ringing -> busy (no answer, the exchange gave up)"}};
    t = callTimes(none);
    EXPECT_LT(t.answered, 0);
    EXPECT_FALSE(hangUpTheLineCannotTell(t));
}

}  // namespace
