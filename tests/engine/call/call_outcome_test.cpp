// How a call ends: the ring-back decision, the message plays, the
// confirmation paths and the notify result each reports.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <stdexcept>

#include "call_harness.h"
#include "line_settings.h"

namespace orvel {
namespace {

using testing::CallHarness;
using Results = std::vector<uint32_t>;

TEST(CallOutcome, BusyReportsCountOnlyInARow) {
    CallHarness h;
    h.assign();
    h.seize("12");
    h.dialAll();
    ASSERT_EQ(h.alg.GetState(), WAIT_EVENT_KPW);
    h.report(LS_BUSY_TONE);
    h.report(LS_BUSY_TONE);
    h.report(LS_TONE);
    h.report(LS_BUSY_TONE);
    EXPECT_EQ(h.alg.GetState(), WAIT_EVENT_KPW);
    EXPECT_TRUE(h.results.empty());
    h.report(LS_BUSY_TONE);
    h.report(LS_BUSY_TONE);
    EXPECT_EQ(h.alg.GetState(), WAIT_ACKNOWLEDGE_HANG_DOWN);
    EXPECT_EQ(h.results, Results{NR_LINE_BUSY});

    // The same while it rings.
    CallHarness r;
    r.assign();
    r.seize("1");
    r.dialAll();
    r.report(LS_RING_BACK_TONE);
    ASSERT_EQ(r.alg.GetState(), WAIT_ABONENT_HANG_UP);
    for (int i = 0; i < 3; ++i) {
        r.report(LS_BUSY_TONE);
    }
    EXPECT_EQ(r.results, Results{NR_LINE_BUSY});
}

TEST(CallOutcome, NoAnswerReportsNotHandUp) {
    {  // silent after dialling: NoToneTime
        CallHarness h;
        h.assign();
        h.seize("1");
        h.dialAll();
        h.wait(24.9);
        EXPECT_TRUE(h.results.empty());
        h.wait(0.2);
        EXPECT_EQ(h.results, Results{NR_NOT_HANDUP});
        h.hungDown();
        EXPECT_EQ(h.alg.GetState(), READY_LINE);
        EXPECT_EQ(h.alg.GetNotifyResult(), NR_NOT_HANDUP);  // kept for GetLineState
    }
    {  // rings forever: KpwWait from the first ring-back report
        CallHarness h;
        h.assign();
        h.seize("1");
        h.dialAll();
        h.wait(20);
        h.report(LS_RING_BACK_TONE);
        for (int i = 0; i < 12; ++i) {
            h.wait(2);
            h.report(i % 2 ? LS_RING_BACK_TONE : LS_RING_BACK_PAUSE);
        }
        EXPECT_TRUE(h.results.empty());
        h.wait(1.1);
        EXPECT_EQ(h.results, Results{NR_NOT_HANDUP});
    }
}

TEST(CallOutcome, AnswerWithoutRingBack) {
    {  // four voice or silence reports in a row; the first only remembers
        CallHarness h;
        h.assign();
        h.seize("1");
        h.dialAll();
        h.report(LS_VOICE);
        h.report(LS_SILENCE);
        h.report(LS_VOICE);
        EXPECT_EQ(h.alg.GetState(), WAIT_EVENT_KPW);
        h.report(LS_VOICE);
        EXPECT_EQ(h.alg.GetState(), WAIT_PLAY_MSG);
        EXPECT_EQ(h.codes().back(), CMD_START_PLAY);
        EXPECT_EQ(h.commands().back().arg1, 1u);  // the main message
    }
    {  // one after a tone
        CallHarness h;
        h.assign();
        h.seize("1");
        h.dialAll();
        h.report(LS_TONE);
        h.report(LS_SILENCE);
        EXPECT_EQ(h.alg.GetState(), WAIT_PLAY_MSG);
    }
    {  // one after a caller-identification request, which is remembered
        CallHarness h;
        h.assign();
        h.seize("1");
        h.dialAll();
        h.report(LS_AON);
        EXPECT_EQ(h.alg.GetAonFlag(), 1u);
        h.report(LS_VOICE);
        EXPECT_EQ(h.alg.GetState(), WAIT_PLAY_MSG);
        // The next call starts without it.
        h.alg.callAbonent("2", 1, 2, true, 3);
        EXPECT_EQ(h.alg.GetAonFlag(), 0u);
    }
}

TEST(CallOutcome, ConfirmationByDigitInThePauseOrAfterTheBeep) {
    {  // 9 in the pause after the confirm message
        CallHarness h;
        h.assign();
        h.answeredAndPlayed("1");
        h.wait(2.1);
        ASSERT_EQ(h.alg.GetState(), WAIT_PLAY_CONFIRM_MSG);
        EXPECT_EQ(h.commands().back().arg1, 2u);  // the confirm message
        h.done(CMD_START_PLAY);
        ASSERT_EQ(h.alg.GetState(), WAIT_TEST_PAUSE);
        h.digit('5');  // other digits are ignored
        EXPECT_TRUE(h.results.empty());
        h.digit('9');
        EXPECT_EQ(h.results, Results{NR_NOTIFY_OK});
        h.hungDown();
        EXPECT_EQ(h.alg.GetState(), READY_LINE);
    }
    {  // 9 after the beep
        CallHarness h;
        h.assign();
        h.answeredAndPlayed("1", 1);
        h.wait(2.1);
        h.done(CMD_START_PLAY);
        h.wait(5.1);
        ASSERT_EQ(h.alg.GetState(), WAIT_PLAY_BEEP);
        EXPECT_EQ(h.codes().back(), CMD_SOUND_PLAY);
        EXPECT_EQ(h.commands().back().arg1, 500u);
        h.ack(CMD_SOUND_PLAY, ACKT_RECEIVE);
        h.ack(CMD_START_PLAY, ACKT_EXECUTE);  // the board's word for the end of the beep
        ASSERT_EQ(h.alg.GetState(), WAIT_TEST_DTMF);
        h.digit('9');
        EXPECT_EQ(h.results, Results{NR_NOTIFY_OK});
    }
    {  // mode 2 does not take a digit; nothing after the beep ends unconfirmed
        CallHarness h;
        h.assign();
        h.answeredAndPlayed("1", 2);
        h.wait(2.1);
        h.done(CMD_START_PLAY);
        h.digit('9');
        h.wait(5.1);
        h.done(CMD_SOUND_PLAY);
        h.digit('9');
        EXPECT_EQ(h.alg.GetState(), WAIT_TEST_DTMF);
        h.wait(15.1);
        EXPECT_EQ(h.alg.GetState(), WAIT_ACKNOWLEDGE_HANG_DOWN);
        EXPECT_TRUE(h.results.empty());
    }
}

TEST(CallOutcome, HangingUpAfterTheBeepConfirmsInModesTwoAndThree) {
    for (uint32_t mode : {1u, 2u, 3u, 0u, 9u}) {
        SCOPED_TRACE(mode);
        CallHarness h;
        h.assign();
        h.answeredAndPlayed("1", mode);
        h.wait(2.1);
        h.done(CMD_START_PLAY);
        h.wait(5.1);
        h.done(CMD_SOUND_PLAY);
        h.report(LS_BUSY_TONE);
        h.report(LS_BUSY_TONE);
        EXPECT_EQ(h.alg.GetState(), WAIT_TEST_DTMF);
        h.report(LS_BUSY_TONE);
        EXPECT_EQ(h.alg.GetState(), WAIT_ACKNOWLEDGE_HANG_DOWN);
        EXPECT_EQ(h.results, mode == 1 ? Results{} : Results{NR_NOTIFY_OK});
    }
}

TEST(CallOutcome, ConfirmOffPlaysTheMessageUpToMessagesCount) {
    CallHarness h;
    h.alg.SetConfirmOn(false);
    h.assign();
    h.answeredAndPlayed("1");
    for (int play = 2; play <= 3; ++play) {
        h.wait(2.1);
        ASSERT_EQ(h.alg.GetState(), WAIT_PLAY_MSG);
        EXPECT_EQ(h.commands().back().arg1, 1u);
        h.done(CMD_START_PLAY);
    }
    EXPECT_TRUE(h.results.empty());
    h.wait(2.1);
    EXPECT_EQ(h.results, Results{NR_NOTIFY_OK});
    EXPECT_EQ(h.alg.GetState(), WAIT_ACKNOWLEDGE_HANG_DOWN);

    // Hanging up after a play is a confirmation too, even while playing again.
    CallHarness b;
    b.alg.SetConfirmOn(false);
    b.assign();
    b.answeredAndPlayed("1");
    b.wait(2.1);
    ASSERT_EQ(b.alg.GetState(), WAIT_PLAY_MSG);
    b.report(LS_BUSY_TONE);  // only moves to the busy test
    EXPECT_EQ(b.alg.GetState(), WAIT_TEST_BUSY);
    b.report(LS_BUSY_TONE);
    b.report(LS_BUSY_TONE);
    EXPECT_TRUE(b.results.empty());
    b.report(LS_BUSY_TONE);
    EXPECT_EQ(b.results, Results{NR_NOTIFY_OK});
}

TEST(CallOutcome, BusyAfterTheMessageWithConfirmOnEndsUnconfirmed) {
    CallHarness h;
    h.assign();
    h.answeredAndPlayed("1");
    EXPECT_EQ(h.alg.stateTimeout(), 2u);
    h.report(LS_BUSY_TONE);
    EXPECT_EQ(h.alg.stateTimeout(), 5u);  // the window grows once: 2 becomes 5
    h.report(LS_BUSY_TONE);
    EXPECT_EQ(h.alg.stateTimeout(), 5u);
    h.report(LS_BUSY_TONE);
    EXPECT_EQ(h.alg.GetState(), WAIT_ACKNOWLEDGE_HANG_DOWN);
    EXPECT_TRUE(h.results.empty());

    // A busy report in the pause lengthens it by a second.
    CallHarness p;
    p.assign();
    p.answeredAndPlayed("1");
    p.wait(2.1);
    p.done(CMD_START_PLAY);
    p.report(LS_BUSY_TONE);
    EXPECT_EQ(p.alg.stateTimeout(), 6u);
    p.wait(5.1);
    EXPECT_EQ(p.alg.GetState(), WAIT_TEST_PAUSE);
    p.wait(1.0);
    EXPECT_EQ(p.alg.GetState(), WAIT_PLAY_BEEP);

    // Busy while the message plays ends the call without a result.
    CallHarness m;
    m.assign();
    m.seize("1");
    m.dialAll();
    m.report(LS_TONE);
    m.report(LS_VOICE);
    m.ack(CMD_START_PLAY, ACKT_RECEIVE);
    EXPECT_EQ(m.alg.stateTimeout(), 0u);  // a play may take as long as it takes
    for (int i = 0; i < 3; ++i) {
        m.report(LS_BUSY_TONE);
    }
    EXPECT_EQ(m.alg.GetState(), WAIT_ACKNOWLEDGE_HANG_DOWN);
    EXPECT_TRUE(m.results.empty());
}

// A person talking through the message makes a busy report now and then;
// those far apart or parted by silence are no busy tone. A busy under the
// message's echo, its reports broken by voice reports, still ends the call.
TEST(CallOutcome, BusyWhileTheEnginePlaysCountsOnlyReportsOfOneTone) {
    const auto playing = [](CallHarness& h, bool prompt) {
        h.assign();
        h.seize("1");
        h.dialAll();
        h.report(LS_TONE);
        h.report(LS_VOICE);
        h.ack(CMD_START_PLAY, ACKT_RECEIVE);
        if (prompt) {
            h.ack(CMD_START_PLAY, ACKT_EXECUTE);
            h.wait(2.1);
            h.ack(CMD_START_PLAY, ACKT_RECEIVE);
            ASSERT_EQ(h.alg.GetState(), WAIT_PLAY_CONFIRM_MSG);
        } else {
            ASSERT_EQ(h.alg.GetState(), WAIT_PLAY_MSG);
        }
    };
    for (bool prompt : {false, true}) {
        SCOPED_TRACE(prompt ? "prompt" : "message");
        const uint32_t state = prompt ? WAIT_PLAY_CONFIRM_MSG : WAIT_PLAY_MSG;
        CallHarness far;  // syllables seconds apart
        playing(far, prompt);
        far.report(LS_BUSY_TONE);
        far.wait(1.1);
        far.report(LS_BUSY_TONE);
        far.wait(4.0);
        far.report(LS_TONE);
        far.wait(1.0);
        far.report(LS_BUSY_TONE);
        EXPECT_EQ(far.alg.GetState(), state);
        far.wait(1.0);
        far.report(LS_BUSY_TONE);
        EXPECT_EQ(far.alg.GetState(), state);
        far.wait(1.0);
        far.report(LS_BUSY_TONE);  // three within a busy's cadence
        EXPECT_EQ(far.alg.GetState(), WAIT_ACKNOWLEDGE_HANG_DOWN);

        CallHarness quiet;  // a silence between them
        playing(quiet, prompt);
        quiet.report(LS_BUSY_TONE);
        quiet.report(LS_BUSY_TONE);
        quiet.report(LS_SILENCE);
        quiet.report(LS_BUSY_TONE);
        EXPECT_EQ(quiet.alg.GetState(), state);

        CallHarness echo;  // a busy under the echo
        playing(echo, prompt);
        for (int i = 0; i < 3; ++i) {
            echo.report(LS_BUSY_TONE);
            echo.wait(0.5);
            echo.report(LS_VOICE);
            echo.wait(0.5);
        }
        EXPECT_EQ(echo.alg.GetState(), WAIT_ACKNOWLEDGE_HANG_DOWN);
        EXPECT_TRUE(echo.results.empty());
    }
}

TEST(CallOutcome, AdvancedDigitConfirmation) {
    {  // off: a 9 during the confirm message is ignored
        CallHarness h;
        h.assign();
        h.answeredAndPlayed("1");
        h.digit('9');
        h.wait(2.1);
        h.digit('9');
        EXPECT_TRUE(h.results.empty());
    }
    for (uint32_t mode : {1u, 2u}) {
        SCOPED_TRACE(mode);
        CallHarness h;
        h.alg.SetAdvancedDtmfConfirm(true);
        h.assign();
        h.answeredAndPlayed("1", mode);
        h.wait(2.1);
        h.ack(CMD_START_PLAY, ACKT_RECEIVE);
        h.digit('9');
        EXPECT_EQ(h.results, mode == 1 ? Results{NR_NOTIFY_OK} : Results{});
    }
    {  // already in the window after the main message
        CallHarness h;
        h.alg.SetAdvancedDtmfConfirm(true);
        h.assign();
        h.answeredAndPlayed("1");
        h.digit('9');
        EXPECT_EQ(h.results, Results{NR_NOTIFY_OK});
    }
}

TEST(CallOutcome, PlayFailuresHangDown) {
    CallHarness h;
    h.assign();
    h.answeredAndPlayed("1");
    h.wait(2.1);
    h.ack(CMD_START_PLAY, ACKT_RECEIVE, ACKS_INVALID_ARG);  // confirm message not loaded
    EXPECT_EQ(h.alg.GetState(), WAIT_ACKNOWLEDGE_HANG_DOWN);

    CallHarness t;
    t.assign();
    t.seize("1");
    t.dialAll();
    t.report(LS_TONE);
    t.report(LS_VOICE);
    t.wait(3.1);  // no answer to the play command
    EXPECT_EQ(t.alg.GetState(), WAIT_ACKNOWLEDGE_HANG_DOWN);
    EXPECT_EQ(t.alg.GetLastError(), 2);
}

void throwingCallback(uint32_t, uint32_t, uint32_t) {
    throw std::runtime_error("program failure");
}

TEST(CallOutcome, ACallbackThatThrowsDoesNotStopTheCall) {
    CallHarness h;
    h.assign();
    h.seize("1");
    h.dialAll();
    h.alg.SetNotifyResultCallback(&throwingCallback);
    EXPECT_NO_THROW(h.wait(25.1));
    EXPECT_EQ(h.alg.GetNotifyResult(), NR_NOT_HANDUP);
    EXPECT_EQ(h.alg.GetState(), WAIT_ACKNOWLEDGE_HANG_DOWN);
    h.alg.SetNotifyResultCallback(nullptr);
    h.hungDown();
    EXPECT_EQ(h.alg.GetState(), READY_LINE);
}

// Reports come as the line is heard: the pause after the confirm message
// runs its 5 s, the reports before the beep arrive in its last second, the
// beep's echo is heard while it plays, and the busy reports come 0.6 s apart
// after it, each at the end of a 0.3-s burst. Returns the call's results
// once three busy reports came.
struct BeepScript {
    std::vector<uint32_t> beforeBeep;  // 0.3 s apart, ending 0.1 s before the beep
    std::vector<uint32_t> duringBeep;  // the echo of the beep
    double quietAfterBeep = 0;         // seconds without reports before the busy
    bool earlyBusyDetect = true;
    uint32_t mode = 3;
};

Results hangUpAroundTheBeep(const BeepScript& s, uint32_t* endState = nullptr) {
    CallHarness h;
    h.alg.SetEarlyBusyDetect(s.earlyBusyDetect);
    h.assign();
    h.answeredAndPlayed("1", s.mode);
    h.wait(2.1);
    h.done(CMD_START_PLAY);  // the confirm message
    EXPECT_EQ(h.alg.GetState(), WAIT_TEST_PAUSE);
    h.wait(5.0 - 0.1 - 0.3 * static_cast<double>(s.beforeBeep.size()));
    for (uint32_t r : s.beforeBeep) {
        h.report(r);
        h.wait(0.3);
    }
    h.wait(0.2);
    EXPECT_EQ(h.alg.GetState(), WAIT_PLAY_BEEP);
    h.ack(CMD_SOUND_PLAY, ACKT_RECEIVE);
    for (uint32_t r : s.duringBeep) {
        h.wait(0.3);
        h.report(r);
    }
    h.ack(CMD_START_PLAY, ACKT_EXECUTE);  // the end of the beep
    EXPECT_EQ(h.alg.GetState(), WAIT_TEST_DTMF);
    h.wait(s.quietAfterBeep);
    for (int i = 0; i < 3; ++i) {
        h.wait(0.6);
        h.report(LS_BUSY_TONE, 300);
    }
    EXPECT_EQ(h.alg.GetState(), WAIT_ACKNOWLEDGE_HANG_DOWN);
    if (endState != nullptr) {
        h.hungDown();
        *endState = h.alg.GetState();
    }
    return h.results;
}

TEST(CallOutcome, BusyWhoseToneBeganBeforeTheBeepIsAHangUpBeforeIt) {
    const Results confirmed{NR_NOTIFY_OK};
    {  // the busy tone, heard first as a plain tone before the beep, then as busy
        SCOPED_TRACE("tone before the beep");
        uint32_t endState = 0;
        EXPECT_EQ(hangUpAroundTheBeep({{LS_TONE}, {LS_AON}, 0, true, 3}, &endState), Results{});
        EXPECT_EQ(endState, READY_LINE);  // ended as busy in the pause ends
        EXPECT_EQ(hangUpAroundTheBeep({{LS_TONE, LS_TONE}, {}, 0, true, 2}), Results{});
        // The first report of a sound after the quiet pause is often voice.
        EXPECT_EQ(hangUpAroundTheBeep({{LS_VOICE}, {LS_AON, LS_AON}, 0, true, 3}), Results{});
        // Off: every busy after the beep confirms, as it always did.
        EXPECT_EQ(hangUpAroundTheBeep({{LS_TONE}, {LS_AON}, 0, false, 3}), confirmed);
    }
    {  // hang-ups after the beep still confirm
        SCOPED_TRACE("hang-up after the beep");
        // A silent listener: nothing before the beep, its echo heard as a
        // caller-number request or a tone, busy right after it.
        EXPECT_EQ(hangUpAroundTheBeep({{}, {LS_AON}, 0, true, 3}), confirmed);
        EXPECT_EQ(hangUpAroundTheBeep({{}, {LS_TONE, LS_AON}, 0, true, 2}), confirmed);
        // Silence reported before the beep.
        EXPECT_EQ(hangUpAroundTheBeep({{LS_SILENCE}, {LS_AON}, 0, true, 3}), confirmed);
        // A listener who speaks up to the beep: speech is no tone.
        EXPECT_EQ(hangUpAroundTheBeep({{LS_VOICE, LS_VOICE, LS_VOICE}, {LS_AON}, 0, true, 3}),
                  confirmed);
        // A tone before the beep that ends with it: the quiet after the
        // beep's echo breaks the run.
        EXPECT_EQ(hangUpAroundTheBeep({{LS_TONE}, {LS_AON}, 2.0, true, 3}), confirmed);
        EXPECT_EQ(hangUpAroundTheBeep({{LS_TONE, LS_SILENCE}, {LS_AON}, 0, true, 3}), confirmed);
    }
}

TEST(CallOutcome, TheLineSettingSwitchesTheEarlyBusyTest) {
    const std::string path = ::testing::TempDir() + "orvelline_early_busy.ini";
    auto read = [&](const char* text) {
        std::ofstream(path) << text;
        return readLineSettings(path).earlyBusyDetect;
    };
    EXPECT_TRUE(readLineSettings("").earlyBusyDetect);
    EXPECT_FALSE(read("[Line]\nEarlyBusyDetect=0\n"));
    EXPECT_TRUE(read("[Line]\nearlybusydetect=2\n"));  // not valid: the default stays
    std::remove(path.c_str());
}

}  // namespace
}  // namespace orvel
