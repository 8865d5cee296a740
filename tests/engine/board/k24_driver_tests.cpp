// The board device against a scripted card: channel numbering, the register
// protocol, answer processing and the answer list's timeouts, line control.
#include <gtest/gtest.h>

#include <chrono>

#include "board/k24_driver.h"
#include "fake_card.h"

namespace orvel::test {
namespace {

struct Opened {
    FakeDriver drv;
    CK24Device dev{drv};
    explicit Opened(uint32_t config) {
        drv.card->config = config;
        EXPECT_EQ(dev.open("/dev/OrvelPCIDevice0", 0), 0);
        drv.card->writes.clear();
    }
    FakeCard& card() { return *drv.card; }
    uint32_t unitState(uint32_t u) {
        uint32_t s[kUnitStatusWords];
        dev.unitStatus(u, s);
        return s[kStatusUnit];
    }
    uint32_t status(uint32_t u, uint32_t word) {
        uint32_t s[kUnitStatusWords];
        dev.unitStatus(u, s);
        return s[word];
    }
};

struct NumberingCase {
    const char* name;
    uint32_t config;
    uint32_t channels;
    std::vector<uint32_t> hardware;  // hardware channel of each channel
    std::vector<uint32_t> first;     // first channel of units 0, 1, 2
    uint32_t activeUnits;
};

class Numbering : public ::testing::TestWithParam<NumberingCase> {};

TEST_P(Numbering, ChannelsAreDenseAcrossUnits) {
    const NumberingCase& k = GetParam();
    Opened o(k.config);
    ASSERT_EQ(o.dev.channelCount(), k.channels);
    for (uint32_t ch = 0; ch < k.channels; ++ch) {
        EXPECT_EQ(o.dev.hardwareChannel(ch), k.hardware[ch]) << "channel " << ch;
        EXPECT_EQ(o.dev.unitOfChannel(ch), k.hardware[ch] / 6);
    }
    for (uint32_t u = 0; u < 3; ++u) {
        EXPECT_EQ(o.dev.firstChannelOfUnit(u), k.first[u]) << "unit " << u;
    }
    EXPECT_EQ(o.dev.activeUnitCount(), k.activeUnits);
}

INSTANTIATE_TEST_SUITE_P(
    K24, Numbering,
    ::testing::Values(
        NumberingCase{"units_2_0_3", configWord(2, 0, 3), 5, {0, 1, 12, 13, 14}, {0, 2, 2}, 2},
        NumberingCase{"count_7_is_6", configWord(7, 0, 0), 6, {0, 1, 2, 3, 4, 5}, {0, 6, 6}, 1},
        NumberingCase{"only_unit_1", configWord(0, 2, 0), 2, {6, 7}, {0, 0, 2}, 1},
        NumberingCase{"no_card", 0xFFFFFFFF, 0, {}, {0, 0, 0}, 0},
        NumberingCase{"full",
                      configWord(6, 6, 6, 5),
                      18,
                      {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17},
                      {0, 6, 12},
                      3}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(K24Open, OptionBitsVersionAndUninitialisedCard) {
    {
        Opened o(configWord(2, 0, 3, 4, 0x5AB));
        EXPECT_EQ(o.dev.unitOption(0), 0u);
        EXPECT_EQ(o.dev.unitOption(2), 1u);
        EXPECT_EQ(o.dev.boardVersion(), 0xABu | (0x5u << 16));
    }
    FakeDriver drv;
    drv.card->initialised = false;
    drv.card->config = configWord(6, 6, 6);
    CK24Device dev(drv);
    EXPECT_EQ(dev.open("/dev/OrvelPCIDevice0", 0), 0);
    EXPECT_EQ(dev.channelCount(), 0u);
    EXPECT_EQ(dev.open("/dev/OrvelPCIDevice1", 1), -1);
}

TEST(K24Registers, UnitCommandWordWaitsForTheUnitToBeFree) {
    Opened o(configWord(2, 0, 3));
    o.card().unitBusy[2] = 3;  // free after three status reads
    ASSERT_EQ(o.dev.writeUnitCommand(3, 24, 1), 0);
    auto words = o.card().unitWords(2);
    ASSERT_EQ(words.size(), 1u);
    EXPECT_EQ(words[0], (1u << 16) | (24u << 8) | 1u);  // local channel 1 of unit 2
    EXPECT_EQ(o.unitState(2), 0u);
}

TEST(K24Registers, UnitThatStaysBusyIsReleasedAfter200ms) {
    Opened o(configWord(2, 0, 3));
    o.card().unitBusy[0] = -1;
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(o.dev.writeUnitCommand(1, 26, 1), -1);
    auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0)
            .count();
    EXPECT_GE(ms, 200);
    EXPECT_TRUE(o.card().unitWords(0).empty());
    ASSERT_GE(o.card().writes.size(), 2u);
    EXPECT_EQ(o.card().writes[o.card().writes.size() - 2], std::make_pair(0u, 0u));
    EXPECT_EQ(o.card().writes.back(), std::make_pair(1u, 0x4747001Bu));
    EXPECT_EQ(o.unitState(0), 1u);
}

TEST(K24Codec, WordsWithGainsAndRetries) {
    Opened o(configWord(2, 0, 3));
    ASSERT_EQ(o.dev.setChannelGain(3, 5, false), 0);  // unit 2, local 1
    ASSERT_EQ(o.dev.setChannelGain(4, 2, false), 0);  // unit 2, local 2
    EXPECT_EQ(o.dev.setChannelGain(5, 1, false), -1) << "no such channel";
    EXPECT_EQ(o.dev.setChannelGain(0, 8, false), -1) << "gain out of range";
    o.card().codecBusyPerProgramming = -1;  // never finishes
    EXPECT_EQ(o.dev.programCodec(2), -1);
    EXPECT_EQ(o.status(2, kStatusCodec), 2u);
    EXPECT_EQ(o.card().count(1, 0x47470010), 4u * 8u) << "four attempts";
    EXPECT_EQ(o.card().count(1, 0x47470012), 4u);

    o.card().writes.clear();
    o.card().codecBusyReads = 0;
    o.card().codecBusyPerProgramming = 2;
    EXPECT_EQ(o.dev.programCodec(2), 0);
    EXPECT_EQ(o.status(2, kStatusCodec), 1u);
    std::vector<uint32_t> sent;
    for (size_t i = 1; i < o.card().writes.size(); ++i) {
        if (o.card().writes[i].second == 0x47470010) {
            sent.push_back(o.card().writes[i - 1].second);
        }
    }
    std::vector<uint32_t> expected = {0x810C, 0x82E1, 0x8388 | (5 << 4), 0x8488 | 2, 0x8588, 0x8600,
                                      0x8700, 0x8001};
    EXPECT_EQ(sent, expected);
    EXPECT_EQ(o.card().writes[0], std::make_pair(0u, 2u));
    EXPECT_EQ(o.card().writes[1], std::make_pair(1u, 0x47470012u));
}

TEST(K24Codec, SampleRateSwitchesTheStreamAroundProgramming) {
    Opened o(configWord(2, 0, 3));
    ASSERT_EQ(o.dev.setUnitSampleRate(2, 16000, true), 0);
    EXPECT_EQ(o.dev.codecWord(2, 0), 0x810Du);
    ASSERT_EQ(o.card().switches.size(), 2u);
    EXPECT_EQ(o.card().switches[0].index, 4u);
    EXPECT_EQ(o.card().switches[0].value, 0u);
    EXPECT_EQ(o.card().switches[1].value, 1u);
    EXPECT_EQ(o.dev.setUnitSampleRate(0, 11025, false), 0);
    EXPECT_EQ(o.dev.codecWord(0, 0), 0x810Cu) << "other rates leave the word";
}

// One step of an answer-processing script.
struct Step {
    enum Kind { Queue, SetParam, Answer } kind;
    uint32_t channel;  // Queue/SetParam: channel; Answer: local channel of unit 2
    uint32_t command;
    uint32_t value;
    int result;          // Answer: expected result
    uint32_t unitState;  // expected afterwards (unit 2)
    size_t pending;      // expected pending entries afterwards
    int resends;         // expected new unit words written by this step (-1: any)
};

struct Script {
    const char* name;
    std::vector<Step> steps;
};

class AnswerScripts : public ::testing::TestWithParam<Script> {};

TEST_P(AnswerScripts, ResultsUnitStateAndPendingEntries) {
    Opened o(configWord(2, 0, 3));  // unit 2 holds channels 2, 3, 4
    int n = 0;
    for (const Step& s : GetParam().steps) {
        SCOPED_TRACE("step " + std::to_string(n++));
        size_t before = o.card().unitWords(2).size();
        switch (s.kind) {
            case Step::Queue:
                EXPECT_EQ(o.dev.queueUnitCommand(s.channel, s.command, s.value), 0);
                break;
            case Step::SetParam:
                EXPECT_EQ(o.dev.setParameter(s.channel, s.command, s.value), 0);
                break;
            case Step::Answer:
                EXPECT_EQ(o.dev.processAnswer(2, s.channel, s.command, s.value), s.result);
                break;
        }
        EXPECT_EQ(o.unitState(2), s.unitState);
        EXPECT_EQ(o.dev.pendingCount(), s.pending);
        if (s.resends >= 0 && s.kind == Step::Answer) {
            EXPECT_EQ(o.card().unitWords(2).size() - before, static_cast<size_t>(s.resends));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(K24, AnswerScripts,
                         ::testing::Values(Script{"read_confirms_default",
                                                  {{Step::Queue, 2, 1, 0, 0, 0, 1, -1},
                                                   {Step::Answer, 0, 1, 255, 3, 0, 0, 0}}},
                                           Script{"five_differing_answers_give_state_2_and_error",
                                                  {{Step::Queue, 3, 3, 0, 0, 0, 1, -1},
                                                   {Step::Answer, 1, 3, 40, 0, 3, 1, 1},
                                                   {Step::Answer, 1, 4, 40, 0, 3, 1, 1},
                                                   {Step::Answer, 1, 4, 40, 0, 3, 1, 1},
                                                   {Step::Answer, 1, 4, 40, 0, 3, 1, 1},
                                                   {Step::Answer, 1, 4, 40, 1, 2, 0, 0}}},
                                           Script{"resend_then_confirmed",
                                                  {{Step::SetParam, 4, 29, 9, 0, 0, 1, -1},
                                                   {Step::Answer, 2, 29, 254, 0, 3, 1, 1},
                                                   {Step::Answer, 2, 29, 9, 3, 3, 0, 0}}},
                                           Script{"answer_without_pending_entry",
                                                  {{Step::Answer, 0, 5, 255, 0, 5, 0, 0},
                                                   {Step::Answer, 0, 18, 1, 0, 5, 0, 0},
                                                   {Step::Answer, 0, 27, 0, 0, 5, 0, 0}}},
                                           Script{"polarity_without_entry_leaves_state",
                                                  {{Step::Answer, 0, 17, 1, 0, 0, 0, 0}}},
                                           Script{"polarity_differs_then_gives_up",
                                                  {{Step::Queue, 2, 17, 0, 0, 0, 1, -1},
                                                   {Step::Answer, 0, 17, 1, 0, 3, 1, 1},
                                                   {Step::Answer, 0, 17, 1, 0, 3, 1, 1},
                                                   {Step::Answer, 0, 17, 1, 0, 3, 1, 1},
                                                   {Step::Answer, 0, 17, 1, 0, 3, 1, 1},
                                                   {Step::Answer, 0, 17, 1, 1, 2, 0, 0}}},
                                           Script{"pulse_digit_refused_then_dialled",
                                                  {{Step::Queue, 2, 27, 5, 0, 0, 1, -1},
                                                   {Step::Answer, 0, 27, 1, 0, 3, 1, 1},
                                                   {Step::Answer, 0, 27, 0, 3, 3, 0, 0}}},
                                           Script{"reports_and_readings",
                                                  {{Step::Answer, 1, 23, 3, 5, 0, 0, 0},
                                                   {Step::Answer, 2, 24, 96, 2, 0, 0, 0},
                                                   {Step::Answer, 6, 24, 128, 0, 0, 0, 0},
                                                   {Step::Answer, 5, 24, 96, 0, 0, 0, 0},
                                                   {Step::Answer, 0, 25, 40, 0, 0, 0, 0}}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(K24Answers, VersionSerialAndSupplyGoToTheStatusRecord) {
    Opened o(configWord(2, 0, 3));
    ASSERT_EQ(o.dev.requestVersion(2), 0);
    ASSERT_EQ(o.dev.requestSerial(2), 0);
    EXPECT_EQ(o.card().unitWords(2).back(), 18u << 8) << "to the unit's first channel";
    EXPECT_EQ(o.dev.processAnswer(2, 0, 21, 0x35), 0);
    EXPECT_EQ(o.dev.processAnswer(2, 0, 18, 77), 0);
    EXPECT_EQ(o.dev.processAnswer(2, 7, 24, 213), 0);
    EXPECT_EQ(o.status(2, kStatusVersion), 5u | (3u << 16));
    EXPECT_EQ(o.status(2, kStatusSerial), 77u);
    EXPECT_EQ(o.status(2, kStatusSupply12), 213u);
    EXPECT_EQ(o.dev.pendingCount(), 0u);
    EXPECT_EQ(o.unitState(2), 0u);
}

TEST(K24Answers, FramesNamingNoLineAreIgnored) {
    Opened o(configWord(6, 6, 6));
    EXPECT_EQ(o.dev.processAnswer(2, 7, 1, 255), 0);  // would be channel 19
    EXPECT_EQ(o.dev.processAnswer(3, 0, 23, 1), 0);   // no unit 3
    EXPECT_EQ(o.dev.processAnswer(2, 6, 24, 99), 0);  // the unit's 5 V supply
    uint32_t s[kUnitStatusWords];
    o.dev.unitStatus(2, s);
    EXPECT_EQ(s[kStatusSupply5], 99u);
    EXPECT_EQ(s[kStatusUnit], 0u);
    Opened small(configWord(2, 0, 3));
    EXPECT_EQ(small.dev.writeUnitCommand(5, 26, 1), -1) << "no channel 5";
    EXPECT_EQ(small.dev.queueUnitCommand(5, 1, 0), -1);
    EXPECT_EQ(small.dev.requestVersion(1), -1) << "unit 1 has no lines";
    EXPECT_EQ(small.dev.pendingCount(), 0u);
    EXPECT_TRUE(small.card().writes.empty());
}

TEST(K24Answers, EveryExpiredCommandTimesOutOnItsOwn) {
    Opened o(configWord(2, 0, 3));
    std::vector<K24PendingEntry> expired;
    o.dev.queueUnitCommand(0, 1, 0);
    o.dev.queueUnitCommand(1, 3, 0);
    EXPECT_EQ(o.dev.checkAcknowledgeTimeouts(expired), 0);
    o.dev.queueUnitCommand(2, 27, 4);
    for (int tick = 0; tick < 2; ++tick) {
        EXPECT_EQ(o.dev.checkAcknowledgeTimeouts(expired), 0);
    }
    EXPECT_TRUE(expired.empty());
    // The fourth tick drops both older entries: the caller gets both.
    EXPECT_EQ(o.dev.checkAcknowledgeTimeouts(expired), -1);
    ASSERT_EQ(expired.size(), 2u);
    EXPECT_EQ(expired[0].channel, 0u);
    EXPECT_EQ(expired[0].command, 1u);
    EXPECT_EQ(expired[1].channel, 1u);
    EXPECT_EQ(expired[1].command, 3u);
    EXPECT_EQ(o.unitState(0), 4u);
    EXPECT_EQ(o.unitState(2), 0u);
    expired.clear();
    EXPECT_EQ(o.dev.checkAcknowledgeTimeouts(expired), -1);
    ASSERT_EQ(expired.size(), 1u);
    EXPECT_EQ(expired[0].command, 27u);
    EXPECT_EQ(expired[0].value, 4u);
    EXPECT_EQ(o.unitState(2), 4u);
    EXPECT_EQ(o.dev.pendingCount(), 0u);
}

TEST(K24LineControl, PulseDigitsAndRefusedCharacters) {
    Opened o(configWord(2, 0, 3));
    const std::pair<char, uint32_t> digits[] = {{'1', 1}, {'9', 9}, {'0', 10}, {',', 11}};
    for (auto [c, v] : digits) {
        ASSERT_EQ(o.dev.dialPulseDigit(2, c), 0);
        EXPECT_EQ(o.card().unitWords(2).back(), (27u << 8) | v) << c;
    }
    size_t sent = o.card().unitWords(2).size();
    for (char c : {'#', '*', 'A', '\0'}) {
        EXPECT_EQ(o.dev.dialPulseDigit(2, c), -1) << c;
    }
    EXPECT_EQ(o.card().unitWords(2).size(), sent) << "nothing sent";
    EXPECT_EQ(o.dev.pendingCount(), 4u);
}

TEST(K24LineControl, HookKeysSwitchThePolarityWatch) {
    Opened o(configWord(2, 0, 3));
    EXPECT_FALSE(o.dev.polarityWatchOn(0));
    o.dev.onHook(0);
    EXPECT_TRUE(o.dev.polarityWatchOn(0));
    EXPECT_EQ(o.card().unitWords(0).back(), (26u << 8) | 0u);
    o.dev.offHook(0);
    EXPECT_FALSE(o.dev.polarityWatchOn(0));
    EXPECT_EQ(o.card().unitWords(0).back(), (26u << 8) | 1u);
    o.dev.assign(4);
    EXPECT_EQ(o.card().unitWords(2).back(), (2u << 16) | (26u << 8) | 3u);
    o.dev.free(4);
    EXPECT_EQ(o.card().unitWords(2).back(), (2u << 16) | (26u << 8) | 4u);
    ASSERT_EQ(o.dev.outputSwitch(13, false), 0);
    EXPECT_EQ(o.card().switches.back().index, 13u);
    EXPECT_EQ(o.card().switches.back().mode, 1u);
    EXPECT_EQ(o.card().switches.back().value, 1u);
}

TEST(K24LineControl, StopResetsEveryUnitWithChannelsAndWakesBothThreads) {
    Opened o(configWord(2, 0, 3));
    ASSERT_EQ(o.dev.start(), 0);
    EXPECT_EQ(o.card().started.startWord, 5u);
    EXPECT_EQ(o.card().started.secondStartWord, 5u);
    EXPECT_NE(o.card().started.transmitEvent, nullptr);
    EXPECT_EQ(o.dev.stop(), 0);
    o.dev.writeStopWord();
    EXPECT_EQ(o.card().writes.back(), std::make_pair(1u, 0x47470005u));
    EXPECT_EQ(o.card().unitWords(0).back(), (26u << 8) | 7u);
    EXPECT_EQ(o.card().unitWords(2).back(), (26u << 8) | 7u);
    EXPECT_TRUE(o.card().unitWords(1).empty());
    EXPECT_EQ(o.dev.waitForInput(0), 0);
    EXPECT_EQ(o.dev.waitForOutput(0), 0);
}

TEST(K24Polarity, PulseAtFiveSecondsThenLooksForThreeRailSamples) {
    Opened o(configWord(2, 0, 3));
    o.dev.onHook(1);
    int16_t quiet[64] = {};
    for (int block = 1; block < 625; ++block) {
        o.dev.polarityWatch(1, quiet, 64);
    }
    size_t words = o.card().unitWords(0).size();
    o.dev.polarityWatch(1, quiet, 64);  // block 625
    ASSERT_EQ(o.card().unitWords(0).size(), words + 1);
    EXPECT_EQ(o.card().unitWords(0).back(), (1u << 16) | (26u << 8) | 2u);
    int16_t rail[64] = {};
    rail[10] = rail[11] = 32767;  // two are not enough
    rail[40] = rail[41] = rail[42] = -32768;
    o.dev.polarityWatch(1, rail, 64);
    EXPECT_EQ(o.card().unitWords(0).back(), (1u << 16) | (17u << 8) | 0u) << "minus";
    EXPECT_EQ(o.dev.wantedParameter(1, 9), 0u);
    // The counter restarted: the next pulse comes 625 blocks later.
    words = o.card().unitWords(0).size();
    for (int block = 1; block < 625; ++block) {
        o.dev.polarityWatch(1, rail, 64);
    }
    EXPECT_EQ(o.card().unitWords(0).size(), words);
}

TEST(K24Polarity, NoRailWithinASecondResetsTheCounter) {
    Opened o(configWord(2, 0, 3));
    o.dev.onHook(0);
    int16_t quiet[64] = {};
    for (int block = 1; block <= 750; ++block) {
        o.dev.polarityWatch(0, quiet, 64);
    }
    size_t words = o.card().unitWords(0).size();
    for (int block = 1; block <= 625; ++block) {
        o.dev.polarityWatch(0, quiet, 64);
    }
    EXPECT_EQ(o.card().unitWords(0).size(), words + 1) << "pulses again after the reset";
}

}  // namespace
}  // namespace orvel::test
