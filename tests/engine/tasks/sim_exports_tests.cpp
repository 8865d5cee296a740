// The board tasks end to end through the exported functions, with the board
// and exchange simulator as the driver: two boards come up and report their
// units, every assigned line becomes ready, a loaded message reaches the
// simulated line sample for sample, and a tone digit is heard by the
// simulator's own DTMF receiver.
#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>

#include "board/driver_host.h"
#include "call/logic_processing.h"
#include "engine.h"
#include "media/message_file.h"
#include "orvel.h"
#include "sim_driver.h"
#include "task_harness.h"
#include "test_util.h"
#include "wav_file.h"

namespace orvel::tasktest {
namespace {

using testing::waitFor;

// Stands in for a line's call algorithm: records what reaches it and, when
// the line is assigned, asks the board to take the line as a call would.
class LineRecorder : public CProcessingAlgorithm {
public:
    LineRecorder(OrvelLogicProcessing* logic) : logic_(logic) {}
    int Start() override {
        return logic_->SendCommand(makeCommandBlock(address(), CMD_SEND_LINE_ASSIGN));
    }
    int Stop() override { return 0; }
    uint32_t GetState() const override { return 0; }
    int DoAlgorithm(const ACE_Message_Block* mb) override {
        std::lock_guard<std::mutex> lock(mutex_);
        AckRecord ack;
        EventRecord event;
        if (readRecord(mb, ack)) {
            if (ack.type == ACKT_EXECUTE && ack.command == CMD_SEND_LINE_ASSIGN) {
                assigned_ = true;
            }
            acks_.push_back(ack);
        } else if (readRecord(mb, event) && assigned_ && event.type == EV_LINE_READY) {
            readyAfterAssign_ = true;
        }
        return 0;
    }
    int CheckTimeOut(const ACE_Time_Value&, const void*) override { return 0; }

    bool readyAfterAssign() {
        std::lock_guard<std::mutex> lock(mutex_);
        return readyAfterAssign_;
    }
    size_t executed(uint32_t command) {
        std::lock_guard<std::mutex> lock(mutex_);
        size_t n = 0;
        for (const auto& a : acks_) {
            n += a.type == ACKT_EXECUTE && a.command == command && a.status == ACKS_OK;
        }
        return n;
    }

private:
    OrvelLogicProcessing* logic_;
    std::mutex mutex_;
    std::vector<AckRecord> acks_;
    bool assigned_ = false;
    bool readyAfterAssign_ = false;
};

sim::SimConfig twoBoards() {
    sim::SimConfig c;
    c.adcRate = sim::kMaxAdcRate;  // lines settle in about two seconds
    c.boards[0].present = true;
    c.boards[0].units[0].channels = 2;
    c.boards[0].units[2].channels = 3;
    c.boards[0].units[2].version = 0x35;
    c.boards[1].present = true;
    for (auto& u : c.boards[1].units) {
        u.channels = 6;
    }
    c.boards[1].units[1].supply5 = 130;
    for (auto& b : c.boards) {
        for (auto& u : b.units) {
            u.stuck.fill(-1);
        }
    }
    return c;
}

class SimulatedBoards : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::copy_file(ORVEL_DATA_DIR "/orvel.fis", dir.file("orvel.fis"));
        sim = std::make_shared<sim::SimDriver>(twoBoards(), sim::SimDriver::Clock::RealTime);
        driver::DriverHost::setOverride(sim);
        ASSERT_EQ(InitDll(dir.path().c_str()), 0);
        ASSERT_EQ(COrvelEngine::instance().programState(), uint32_t(ORVEL_STATE_INITIALISED));
        logic = dynamic_cast<OrvelLogicProcessing*>(
            COrvelEngine::instance().stream()->find("LogicModule")->writer());
        ASSERT_NE(logic, nullptr);
    }
    void TearDown() override {
        for (auto& r : recorders) {
            logic->RegisterAlgorithm(r->address(), nullptr);
        }
        ShutdownDll();
        driver::DriverHost::setOverride(nullptr);
        recorders.clear();
    }
    LineRecorder* record(uint32_t d, uint32_t ch) {
        recorders.push_back(std::make_unique<LineRecorder>(logic));
        logic->RegisterAlgorithm({0, d, ch}, recorders.back().get());
        return recorders.back().get();
    }

    testing::TempDir dir;
    std::shared_ptr<sim::SimDriver> sim;
    OrvelLogicProcessing* logic = nullptr;
    std::vector<std::unique_ptr<LineRecorder>> recorders;
};

TEST_F(SimulatedBoards, BoardsReportTheirUnitsAndEveryAssignedLineBecomesReady) {
    std::vector<uint32_t> state(ORVEL_PROGRAM_STATE_WORDS, 0);
    auto unitWord = [&](uint32_t d, uint32_t slot, uint32_t w) {
        return state[2 + 21 * d + 3 + 6 * slot + w];
    };
    // Versions, serials and supply readings come from the units' answers.
    ASSERT_TRUE(waitFor(
        [&] {
            GetProgrammState(state.data());
            return unitWord(0, 1, 4) != 0 && unitWord(1, 2, 4) != 0 && unitWord(0, 1, 3) != 0 &&
                   unitWord(1, 1, 2) != 0;
        },
        std::chrono::seconds(20)));
    EXPECT_EQ(state[0], 2u);
    EXPECT_EQ(state[1], uint32_t(ORVEL_STATE_INITIALISED));
    EXPECT_EQ(state[2 + 1], 5u);
    EXPECT_EQ(state[2 + 2], 2u) << "units with lines";
    EXPECT_EQ(state[2 + 21 + 1], 18u);
    EXPECT_EQ(unitWord(0, 0, 0), 1u) << "codec programmed";
    EXPECT_EQ(unitWord(0, 1, 4), 5u | (3u << 16)) << "version 0x35 of the third unit";
    EXPECT_EQ(unitWord(0, 0, 2), 128u);
    EXPECT_EQ(unitWord(1, 1, 2), 130u);
    EXPECT_EQ(unitWord(1, 0, 3), 213u);
    EXPECT_EQ(unitWord(0, 0, 1), 0u) << "no unit fault";

    std::vector<LineRecorder*> lines;
    for (uint32_t d = 0; d < 2; ++d) {
        for (uint32_t ch = 0; ch < (d == 0 ? 5u : 18u); ++ch) {
            lines.push_back(record(d, ch));
            ASSERT_EQ(AssignLine(d, ch), 0);
        }
    }
    EXPECT_TRUE(waitFor(
        [&] {
            return std::all_of(lines.begin(), lines.end(),
                               [](LineRecorder* r) { return r->readyAfterAssign(); });
        },
        std::chrono::seconds(60)));
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_TRUE(lines[i]->readyAfterAssign()) << "line " << i;
    }
}

TEST_F(SimulatedBoards, AMessageAndAToneDigitReachTheSimulatedLine) {
    const std::string wav = dir.file("message.wav");
    writeWav(wav, sine(1000, 16000, 6000));
    ASSERT_EQ(LoadSoundFile(wav.c_str(), 1), 0);
    auto prepared = loadMessageFile(wav);
    ASSERT_TRUE(prepared);
    const int16_t* samples = prepared->samples16();
    const size_t count = prepared->sampleCount();
    size_t first = 0;
    while (first < count && samples[first] == 0) {
        ++first;
    }
    ASSERT_LT(first, count);

    LineRecorder* line = record(1, 5);
    logic->SendCommand(makeCommandBlock({0, 1, 5}, CMD_SEND_HANG_UP));
    ASSERT_TRUE(waitFor([&] { return line->executed(CMD_SEND_HANG_UP) == 1; }));
    sim::SimCard* card = sim->card(1);
    ASSERT_TRUE(waitFor([&] { return card->lineOffHook(5); }));
    card->clearRecord(5);

    logic->SendCommand(makeCommandBlock({0, 1, 5}, CMD_START_PLAY, 1));
    ASSERT_TRUE(waitFor([&] { return line->executed(CMD_START_PLAY) == 1; }));
    const auto audio = card->record(5).audio;
    const size_t compare = std::min<size_t>(count - first, 8000);
    ASSERT_GE(audio.size(), compare);
    EXPECT_TRUE(std::equal(samples + first, samples + first + compare, audio.begin()))
        << "the prepared message, sample for sample";

    logic->SendCommand(makeCommandBlock({0, 1, 5}, CMD_SEND_TEL_NUM, '5', 0, 3));
    ASSERT_TRUE(waitFor([&] { return line->executed(CMD_START_PLAY) == 2; }));
    EXPECT_TRUE(waitFor([&] { return card->record(5).dtmfDigits == "5"; }))
        << "heard: \"" << card->record(5).dtmfDigits << "\"";
}

}  // namespace
}  // namespace orvel::tasktest
