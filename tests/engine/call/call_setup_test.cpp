// The call algorithm from assignment through dialling to the release:
// commands sent for each acknowledgement, event and timeout.
#include <gtest/gtest.h>

#include "call_harness.h"

namespace orvel {
namespace {

using testing::CallHarness;

struct Dialled {
    uint32_t code;
    uint32_t arg1;
};

std::vector<Dialled> dialled(const CallHarness& h) {
    std::vector<Dialled> out;
    for (const auto& c : h.commands()) {
        out.push_back({c.code, c.arg1});
    }
    return out;
}

bool operator==(const Dialled& a, const Dialled& b) {
    return a.code == b.code && a.arg1 == b.arg1;
}

TEST(CallSetup, AssignmentPutsTheLineOnHookAndWaitsForItToBeReady) {
    CallHarness h;
    ASSERT_EQ(h.alg.Start(), 0);
    EXPECT_EQ(h.codes(), (std::vector<uint32_t>{CMD_SEND_LINE_ASSIGN}));
    EXPECT_EQ(h.commands()[0].address.device, 1u);
    EXPECT_EQ(h.commands()[0].address.channel, 4u);
    h.done(CMD_SEND_LINE_ASSIGN);
    EXPECT_EQ(h.codes().back(), CMD_SEND_HANG_DOWN);
    h.done(CMD_SEND_HANG_DOWN);
    EXPECT_EQ(h.alg.GetState(), WAIT_LINE_READY);
    h.wait(60);  // no timeout while waiting for the line
    EXPECT_EQ(h.alg.GetState(), WAIT_LINE_READY);
    EXPECT_EQ(h.report(LS_VOICE), -1);  // not an event this state expects
    h.event(EV_LINE_READY);
    EXPECT_EQ(h.alg.GetState(), READY_LINE);

    // A busy or dropped line while waiting reports a line drop and stays.
    CallHarness g;
    g.alg.Start();
    g.done(CMD_SEND_LINE_ASSIGN);
    g.done(CMD_SEND_HANG_DOWN);
    g.event(EV_LINE_BUSY);
    EXPECT_EQ(g.results, (std::vector<uint32_t>{NR_LINE_DROP}));
    EXPECT_EQ(g.alg.GetState(), WAIT_LINE_READY);
}

TEST(CallSetup, AssignmentFailures) {
    {  // an error acknowledgement gives the line back
        CallHarness h;
        h.alg.Start();
        h.ack(CMD_SEND_LINE_ASSIGN, ACKT_RECEIVE, ACKS_UNDEFINE_CMD_TYPE);
        EXPECT_EQ(h.alg.GetState(), WAIT_ACKNOWLEDGE_FREE_LINE);
        EXPECT_EQ(h.alg.GetLastError(), 6);
        h.ack(CMD_SEND_LINE_FREE, ACKT_RECEIVE, ACKS_UNDEFINE_CMD_TYPE);  // status not looked at
        h.ack(CMD_SEND_LINE_FREE, ACKT_EXECUTE);
        EXPECT_EQ(h.alg.GetState(), STOP);
        EXPECT_EQ(h.alg.GetLastError(), 1);
    }
    {  // no answer in 3 s: hang-down, then ready without a line-ready event
        CallHarness h;
        h.alg.Start();
        h.wait(2.9);
        EXPECT_EQ(h.alg.GetState(), WAIT_ACKNOWLEDGE_ASSIGN_LINE);
        h.wait(0.2);
        EXPECT_EQ(h.alg.GetState(), WAIT_ACKNOWLEDGE_HANG_DOWN);
        EXPECT_EQ(h.alg.GetLastError(), 2);
    }
    {  // a command that cannot be sent stops the algorithm at once
        CallHarness h;
        h.failSends(true);
        EXPECT_EQ(h.alg.Start(), -1);
        EXPECT_EQ(h.alg.GetState(), STOP);
        EXPECT_EQ(h.alg.GetLastError(), 6);
    }
}

TEST(CallSetup, CallRequestsAreCheckedAndNormalised) {
    CallHarness h;
    EXPECT_EQ(h.alg.callAbonent(nullptr, 1, 2, true, 3), -1);
    EXPECT_EQ(h.alg.callAbonent("", 1, 2, true, 3), -1);
    // Not ready: stored, no call.
    EXPECT_EQ(h.alg.callAbonent("wwww5w", 1, 2, false, 7), 0);
    EXPECT_TRUE(h.codes().empty());
    EXPECT_EQ(h.alg.number(), "w5w");
    EXPECT_EQ(h.alg.confirmationMode(), 3u);
    EXPECT_FALSE(h.alg.pulseDialling());
    EXPECT_EQ(CListenLineTest::normaliseNumber("ww123w45"), "w123w45");
    EXPECT_EQ(CListenLineTest::normaliseNumber("1ww2wwwww"), "1w2w");

    h.assign();
    EXPECT_EQ(h.alg.callAbonent("123", 1, 2, true, 2), 0);
    EXPECT_EQ(h.codes(), (std::vector<uint32_t>{CMD_SEND_HANG_UP}));
    EXPECT_EQ(h.alg.confirmationMode(), 2u);
    // A second request during the call changes nothing that is sent.
    EXPECT_EQ(h.alg.callAbonent("999", 1, 2, true, 1), 0);
    EXPECT_EQ(h.codes().size(), 1u);
}

TEST(CallSetup, WaitsAndDigitsAreDialledInOrder) {
    CallHarness h;
    h.assign();
    h.seize("ww123w45");
    h.report(LS_DIAL_TONE);
    h.dialAll();
    EXPECT_EQ(h.alg.GetState(), WAIT_EVENT_DIAL_TONE);
    h.report(LS_DIAL_TONE);
    h.dialAll();
    EXPECT_EQ(h.alg.GetState(), WAIT_EVENT_KPW);
    const std::vector<Dialled> expected = {{CMD_SEND_HANG_UP, 0},   {CMD_WAIT_DIAL_TONE, 0},
                                           {CMD_SEND_TEL_NUM, '1'}, {CMD_SEND_TEL_NUM, '2'},
                                           {CMD_SEND_TEL_NUM, '3'}, {CMD_WAIT_DIAL_TONE, 1},
                                           {CMD_SEND_TEL_NUM, '4'}, {CMD_SEND_TEL_NUM, '5'}};
    EXPECT_EQ(dialled(h), expected);
    // Pulse flag and DTMF level travel with every character.
    EXPECT_EQ(h.commands()[2].arg2, 1u);
    EXPECT_EQ(h.commands()[2].arg3, 1u);
}

TEST(CallSetup, ToneDiallingAndTheFirstCharacter) {
    CallHarness h;
    h.assign();
    ASSERT_EQ(h.alg.SetDtmfLevel(4), 0);
    ASSERT_EQ(h.alg.callAbonent("71", 1, 2, false, 3), 0);
    h.done(CMD_SEND_HANG_UP);
    h.wait(0.9);
    EXPECT_EQ(h.alg.GetState(), WAIT_ACKNOWLEDGE_HANG_UP);  // one second of settling
    h.wait(0.2);
    ASSERT_EQ(h.alg.GetState(), WAIT_DIAL);
    EXPECT_EQ(h.commands().back().arg1, static_cast<uint32_t>('7'));
    EXPECT_EQ(h.commands().back().arg2, 0u);
    EXPECT_EQ(h.commands().back().arg3, 4u);
    // The end of a tone-dialled character comes as the end of a play.
    h.ack(CMD_SEND_TEL_NUM, ACKT_RECEIVE);
    EXPECT_EQ(h.ack(CMD_SEND_TEL_NUM, ACKT_RECEIVE), -1);  // fits no phase
    h.ack(CMD_START_PLAY, ACKT_EXECUTE);
    EXPECT_EQ(h.commands().back().arg1, static_cast<uint32_t>('1'));

    // A single w: seize, wait for a dial tone, then straight to ring-back.
    CallHarness w;
    w.assign();
    w.seize("w");
    EXPECT_EQ(w.codes(), (std::vector<uint32_t>{CMD_SEND_HANG_UP, CMD_WAIT_DIAL_TONE}));
    w.report(LS_DIAL_TONE);
    EXPECT_EQ(w.alg.GetState(), WAIT_EVENT_KPW);
    EXPECT_EQ(w.codes().size(), 2u);

    // No answer to the seizure: dialling starts anyway after 3 s.
    CallHarness s;
    s.assign();
    s.alg.callAbonent("5", 1, 2, true, 3);
    s.wait(3.1);
    EXPECT_EQ(s.alg.GetState(), WAIT_DIAL);
}

TEST(CallSetup, ThreeMissingDialTonesEndInLineDrop) {
    CallHarness h;
    h.assign();
    h.seize("w1");
    for (int attempt = 1; attempt <= 3; ++attempt) {
        SCOPED_TRACE(attempt);
        ASSERT_EQ(h.alg.GetState(), WAIT_EVENT_DIAL_TONE);
        h.wait(9.9);
        ASSERT_EQ(h.alg.GetState(), WAIT_EVENT_DIAL_TONE);
        h.wait(0.2);
        ASSERT_EQ(h.alg.GetState(), WAIT_ACKNOWLEDGE_HANG_DOWN);
        h.done(CMD_SEND_HANG_DOWN);
        h.clearCommands();
        h.wait(3.0);  // RedialPause on-hook
        if (attempt < 3) {
            EXPECT_TRUE(h.results.empty());
            ASSERT_EQ(h.codes(), (std::vector<uint32_t>{CMD_SEND_HANG_UP}));
            h.done(CMD_SEND_HANG_UP);
            h.wait(1.0);
        }
    }
    EXPECT_EQ(h.results, (std::vector<uint32_t>{NR_LINE_DROP}));
    EXPECT_EQ(h.alg.GetState(), READY_LINE);
    EXPECT_TRUE(h.codes().empty());

    // A dial tone heard in between starts the count again.
    CallHarness g;
    g.assign();
    g.seize("w1w2");
    g.wait(10.1);
    g.done(CMD_SEND_HANG_DOWN);
    g.wait(3.0);
    g.done(CMD_SEND_HANG_UP);
    g.wait(1.0);
    g.report(LS_DIAL_TONE);
    g.done(CMD_SEND_TEL_NUM);
    ASSERT_EQ(g.alg.GetState(), WAIT_EVENT_DIAL_TONE);
    for (int i = 0; i < 2; ++i) {  // two more misses are still retries
        g.wait(10.1);
        g.done(CMD_SEND_HANG_DOWN);
        g.wait(3.0);
        ASSERT_EQ(g.alg.GetState(), WAIT_ACKNOWLEDGE_HANG_UP);
        g.done(CMD_SEND_HANG_UP);
        g.wait(1.0);
    }
    EXPECT_TRUE(g.results.empty());
}

TEST(CallSetup, BusyBeforeAndDuringDiallingEndsWithoutResult) {
    CallHarness h;
    h.assign();
    h.seize("w1");
    h.report(LS_BUSY_TONE);
    h.report(LS_BUSY_TONE);
    h.report(LS_SILENCE);  // resets the count
    h.report(LS_BUSY_TONE);
    h.report(LS_BUSY_TONE);
    EXPECT_EQ(h.alg.GetState(), WAIT_EVENT_DIAL_TONE);
    h.report(LS_BUSY_TONE);
    EXPECT_EQ(h.alg.GetState(), WAIT_ACKNOWLEDGE_HANG_DOWN);
    h.hungDown();
    EXPECT_EQ(h.alg.GetState(), READY_LINE);
    EXPECT_TRUE(h.results.empty());

    // Error acknowledgement while dialling: hang-down.
    CallHarness d;
    d.assign();
    d.seize("12");
    d.ack(CMD_SEND_TEL_NUM, ACKT_RECEIVE, ACKS_INVALID_ARG);
    EXPECT_EQ(d.alg.GetState(), WAIT_ACKNOWLEDGE_HANG_DOWN);
    // An error acknowledgement of the hang-down counts as done.
    d.ack(CMD_SEND_HANG_DOWN, ACKT_RECEIVE, ACKS_HARDWARE_ERR);
    EXPECT_EQ(d.alg.phase(), 3u);
    d.wait(3.1);
    EXPECT_EQ(d.alg.GetState(), READY_LINE);
}

// A tone digit whose tone the card cut in two (its end of play comes with a
// hardware error) may have reached the exchange as two digits: "104" became
// "100", a subscriber who confirms, and the call booked the one who never
// answered as notified. The number is dialled again on a fresh seizure, at
// most twice a call; then the call ends without a result.
TEST(CallSetup, ANumberWithABrokenDigitIsDialledAgainNeverContinued) {
    CallHarness h;
    h.assign();
    h.clearCommands();
    for (int attempt = 1; attempt <= 3; ++attempt) {
        SCOPED_TRACE(attempt);
        if (attempt == 1) {
            h.seize("104", 3, false);
        }
        h.done(CMD_SEND_TEL_NUM);  // '1' went out whole
        h.ack(CMD_SEND_TEL_NUM, ACKT_RECEIVE);
        h.ack(CMD_START_PLAY, ACKT_EXECUTE, ACKS_HARDWARE_ERR);  // '0' was cut
        ASSERT_EQ(h.alg.GetState(), WAIT_ACKNOWLEDGE_HANG_DOWN);
        EXPECT_EQ(h.dialledDigits(), "10");
        // Whatever answers now is not the subscriber: ring-back and an
        // answer change nothing.
        h.report(LS_RING_BACK_TONE);
        h.report(LS_VOICE);
        EXPECT_EQ(h.alg.GetState(), WAIT_ACKNOWLEDGE_HANG_DOWN);
        h.done(CMD_SEND_HANG_DOWN);
        h.clearCommands();
        h.wait(3.0);  // RedialPause on-hook
        if (attempt == 3) {
            break;
        }
        ASSERT_EQ(h.alg.GetState(), WAIT_ACKNOWLEDGE_HANG_UP);
        EXPECT_EQ(h.codes().back(), uint32_t(CMD_SEND_HANG_UP));
        h.done(CMD_SEND_HANG_UP);
        h.wait(1.0);
        // From the first digit again.
        ASSERT_EQ(h.alg.GetState(), WAIT_DIAL);
        EXPECT_EQ(h.commands().back().arg1, static_cast<uint32_t>('1'));
    }
    EXPECT_EQ(h.alg.GetState(), READY_LINE);
    EXPECT_TRUE(h.results.empty());

    // A redial that goes through rings as any call does, and the count
    // starts again with the next call.
    CallHarness r;
    r.assign();
    r.seize("104", 3, false);
    r.done(CMD_SEND_TEL_NUM);
    r.ack(CMD_SEND_TEL_NUM, ACKT_RECEIVE);
    r.ack(CMD_START_PLAY, ACKT_EXECUTE, ACKS_HARDWARE_ERR);
    r.done(CMD_SEND_HANG_DOWN);
    r.wait(3.0);
    r.clearCommands();
    r.done(CMD_SEND_HANG_UP);
    r.wait(1.0);
    r.dialAll();
    EXPECT_EQ(r.dialledDigits(), "104");
    EXPECT_EQ(r.alg.GetState(), WAIT_EVENT_KPW);
}

TEST(CallSetup, StopReleasesTheLineFromAnyState) {
    {  // from the middle of a call: hang-down, then free
        CallHarness h;
        h.assign();
        h.seize("12");
        h.clearCommands();
        EXPECT_EQ(h.alg.Stop(), 0);
        EXPECT_EQ(h.codes(), (std::vector<uint32_t>{CMD_SEND_HANG_DOWN}));
        EXPECT_EQ(h.alg.stateTimeout(), 0u);
        EXPECT_TRUE(h.alg.number().empty());
        h.done(CMD_SEND_HANG_DOWN);
        EXPECT_EQ(h.codes().back(), CMD_SEND_LINE_FREE);
        h.done(CMD_SEND_LINE_FREE);
        EXPECT_EQ(h.alg.GetState(), STOP);
    }
    {  // from the ready line: free at once
        CallHarness h;
        h.assign();
        EXPECT_EQ(h.alg.Stop(), 0);
        EXPECT_EQ(h.codes(), (std::vector<uint32_t>{CMD_SEND_LINE_FREE}));
    }
    {  // during an unacknowledged hang-down: -1, yet it ends in STOP
        CallHarness h;
        h.assign();
        h.seize("1");
        h.report(LS_BUSY_TONE);  // not expected in WAIT_DIAL; ignored
        h.ack(CMD_SEND_TEL_NUM, ACKT_RECEIVE, ACKS_HARDWARE_ERR);
        ASSERT_EQ(h.alg.GetState(), WAIT_ACKNOWLEDGE_HANG_DOWN);
        h.clearCommands();
        EXPECT_EQ(h.alg.Stop(), -1);
        EXPECT_TRUE(h.codes().empty());
        h.done(CMD_SEND_HANG_DOWN);
        EXPECT_EQ(h.codes(), (std::vector<uint32_t>{CMD_SEND_LINE_FREE}));
        h.done(CMD_SEND_LINE_FREE);
        EXPECT_EQ(h.alg.GetState(), STOP);
    }
    {  // resting on-hook after a call: free at once
        CallHarness h;
        h.assign();
        h.seize("1");
        h.ack(CMD_SEND_TEL_NUM, ACKT_RECEIVE, ACKS_HARDWARE_ERR);
        h.done(CMD_SEND_HANG_DOWN);
        h.clearCommands();
        EXPECT_EQ(h.alg.Stop(), 0);
        EXPECT_EQ(h.codes(), (std::vector<uint32_t>{CMD_SEND_LINE_FREE}));
    }
    {  // a release whose hang-down fails or is never answered still frees
        CallHarness h;
        h.assign();
        h.seize("1");
        h.alg.Stop();
        h.ack(CMD_SEND_HANG_DOWN, ACKT_RECEIVE, ACKS_HARDWARE_ERR);
        EXPECT_EQ(h.alg.GetState(), WAIT_ACKNOWLEDGE_FREE_LINE);
        CallHarness g;
        g.assign();
        g.seize("1");
        g.alg.Stop();
        g.ack(CMD_SEND_HANG_DOWN, ACKT_RECEIVE);
        g.wait(3.1);
        EXPECT_EQ(g.alg.GetState(), WAIT_ACKNOWLEDGE_FREE_LINE);
        g.wait(3.1);  // the free itself unanswered: stopped anyway
        EXPECT_EQ(g.alg.GetState(), STOP);
    }
}

TEST(CallSetup, LineDropMidCallReportsAndWaitsForTheLine) {
    CallHarness h;
    h.assign();
    h.seize("12");
    h.done(CMD_SEND_TEL_NUM);
    h.clearCommands();
    h.event(EV_LINE_DROP);
    EXPECT_EQ(h.results, (std::vector<uint32_t>{NR_LINE_DROP}));
    EXPECT_EQ(h.alg.GetState(), WAIT_LINE_READY);
    EXPECT_TRUE(h.codes().empty());
    // The dead line keeps sending busy and drop events: one call, one result.
    h.event(EV_LINE_BUSY);
    h.event(EV_LINE_DROP);
    EXPECT_EQ(h.results.size(), 1u);
    h.wait(30);
    EXPECT_EQ(h.alg.GetState(), WAIT_LINE_READY);
    h.event(EV_LINE_READY);
    EXPECT_EQ(h.alg.GetState(), READY_LINE);
    // Once the line was ready again, a new drop is news again.
    h.event(EV_LINE_DROP);
    EXPECT_EQ(h.results, (std::vector<uint32_t>{NR_LINE_DROP, NR_LINE_DROP}));

    // A drop on a line being released does not undo the release.
    CallHarness r;
    r.assign();
    r.alg.Stop();
    r.event(EV_LINE_DROP);
    EXPECT_EQ(r.alg.GetState(), WAIT_ACKNOWLEDGE_FREE_LINE);
    r.done(CMD_SEND_LINE_FREE);
    r.event(EV_LINE_DROP);
    EXPECT_EQ(r.alg.GetState(), STOP);
    EXPECT_TRUE(r.results.empty());
}

TEST(CallSetup, MalformedBlocksChangeNothing) {
    CallHarness h;
    h.assign();
    h.seize("12");
    ACE_Message_Block* read = makeReadBlock(h.alg.address(), "ab", 2, READ_SAMPLES);
    EXPECT_EQ(h.feed(read), -1);
    auto* shortAck = new ACE_Message_Block(20, MB_IOCACK);
    shortAck->wr_ptr(20);
    EXPECT_EQ(h.feed(shortAck), -1);
    EXPECT_EQ(h.alg.GetLastError(), 5);
    h.ack(CMD_SEND_TEL_NUM, 7);  // unknown type
    EXPECT_EQ(h.alg.GetLastError(), 4);
    EXPECT_EQ(h.alg.GetState(), WAIT_DIAL);
    EXPECT_EQ(h.alg.phase(), 0u);
}

TEST(CallSetup, TimeParametersAndDtmfLevel) {
    CallHarness h;
    CallTimeParams p{7, 4, 30, 2, 20, 99, 5, 99};
    h.alg.SetTimeParam(p);
    CallTimeParams out{-1, -1, -1, -1, -1, -1, -1, -1};
    h.alg.GetTimeParam(out);
    EXPECT_EQ(out.DialTonePause, 7);
    EXPECT_EQ(out.RedialPause, 4);
    EXPECT_EQ(out.KpwWait, 30);
    EXPECT_EQ(out.BusyTime, 2);
    EXPECT_EQ(out.NoToneTime, 20);
    EXPECT_EQ(out.MessagesCount, 5);
    EXPECT_EQ(out.ConfirmPause, -1);  // words 5 and 7 are not touched
    EXPECT_EQ(out.DTMFAmplitude, -1);
    EXPECT_EQ(h.alg.SetDtmfLevel(6), -1);
    EXPECT_EQ(h.alg.GetDtmfLevel(), 1u);
    EXPECT_EQ(h.alg.SetDtmfLevel(0), 0);
    EXPECT_EQ(h.alg.SetDtmfLevel(5), 0);
    EXPECT_EQ(h.alg.GetDtmfLevel(), 5u);

    // The dial-tone wait follows the parameter, on the monotonic clock: the
    // wall-clock time the timer passes in neither fires nor holds it.
    h.assign();
    h.seize("w1");
    h.alg.CheckTimeOut(ACE_Time_Value(4000000000), nullptr);
    EXPECT_EQ(h.alg.GetState(), WAIT_EVENT_DIAL_TONE);
    h.alg.Stop();
    h.done(CMD_SEND_HANG_DOWN);
    h.done(CMD_SEND_LINE_FREE);
    h.assign();
    h.seize("w1");
    h.wait(6.9);
    EXPECT_EQ(h.alg.GetState(), WAIT_EVENT_DIAL_TONE);
    h.wait(0.2);
    EXPECT_EQ(h.alg.GetState(), WAIT_ACKNOWLEDGE_HANG_DOWN);
}

}  // namespace
}  // namespace orvel
