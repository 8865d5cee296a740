// The receive task on a scripted card: start-up, samples in 64-sample blocks
// through the DC-blocking filter, unit answers turned into records, the
// acknowledge timeouts, and a prompt end.
#include <gtest/gtest.h>

#include <chrono>

#include "board/dc_block_filter.h"
#include "board/k24_driver.h"
#include "board/k24_read_task.h"
#include "stream_builder.h"
#include "task_harness.h"

namespace orvel::tasktest {
namespace {

class ReadTaskTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(dev.open(driver::deviceName(0), 0), 0);
        ASSERT_EQ(pushDeviceModule(ts.stream(), &dev, 0, nullptr), 0);
    }
    ScriptedCard& card() { return drv.card(0); }
    RecordingTask& out() { return ts.tail(); }
    CK24ReadTask* task() { return dynamic_cast<CK24ReadTask*>(ts.down("DeviceModule0")); }

    ScriptedDriver drv{{configWord(2, 0, 3)}};
    CK24Device dev{drv};
    TestStream ts;
};

TEST_F(ReadTaskTest, StartsTheBoardAndAsksEveryUnitForItsState) {
    auto commands = card().registerCommands();
    ASSERT_GE(commands.size(), 2u);
    EXPECT_EQ(commands[0], 0x4747000Bu);
    EXPECT_EQ(commands[1], 0x47470005u) << "written before the card starts";
    EXPECT_TRUE(card().started());
    int version = 0, serial = 0, reads = 0;
    for (auto [unit, word] : card().unitWords()) {
        const uint32_t code = (word >> 8) & 0xFF;
        EXPECT_NE(unit, 1u) << "unit 1 has no lines";
        version += code == 21;
        serial += code == 18;
        reads += code == 1 || code == 28;
    }
    EXPECT_EQ(version, 2);
    EXPECT_EQ(serial, 2);
    EXPECT_EQ(reads, 2 * 5);
}

TEST_F(ReadTaskTest, SamplesGoDownFilteredInBlocksOf64PerLine) {
    // 65 samples per unit: the 65th frame sends the first block.
    std::vector<uint8_t> bytes;
    for (int i = 0; i < 65; ++i) {
        append(bytes, dataFrame(0, {1000, static_cast<int16_t>(i)}));
        append(bytes, dataFrame(2, {-1000, 0, 32767}));
    }
    // Reads that end inside frames.
    card().send({bytes.begin(), bytes.begin() + 20});
    card().send({bytes.begin() + 20, bytes.begin() + 901});
    card().send({bytes.begin() + 901, bytes.end()});
    ASSERT_TRUE(out().waitFor([&] { return out().reads.size() == 5; }));
    auto reads = out().locked([&] { return out().reads; });
    for (uint32_t k = 0; k < 5; ++k) {
        EXPECT_EQ(reads[k].record.address.channel, k);
        EXPECT_EQ(reads[k].record.address.device, 0u);
        EXPECT_EQ(reads[k].record.kind, uint32_t(READ_SAMPLES));
        EXPECT_EQ(reads[k].record.length, 128u);
    }
    // y = 0.8816 y' + 0.9408 (x - x'), truncated toward zero.
    EXPECT_EQ(reads[0].sample(0), 940);
    EXPECT_EQ(reads[0].sample(1), 829);
    EXPECT_EQ(reads[2].sample(0), -940);
    EXPECT_EQ(reads[4].sample(0), 30827);
    EXPECT_LT(std::abs(reads[0].sample(63)), 2) << "the direct voltage is gone";
    EXPECT_EQ(task()->parser()->bytesLost(), 0u);
}

TEST_F(ReadTaskTest, UnitAnswersBecomeVoltagesEventsAndAcknowledgements) {
    dev.readParameter(0, 3);  // answered with the wanted value: confirmed
    dev.setParameter(3, 2, 40);
    std::vector<uint8_t> bytes;
    append(bytes, unitFrame(2, 1, 24, 100));  // voltage of channel 3
    append(bytes, unitFrame(0, 1, 23, 4));    // line state of channel 1
    append(bytes, unitFrame(0, 0, 3, 255));
    append(bytes, unitFrame(0, 6, 24, 128));  // 5 V supply: nothing goes down
    for (int i = 0; i < 5; ++i) {
        append(bytes, unitFrame(2, 1, 2, 41));  // differs five times
    }
    card().send(bytes);
    ASSERT_TRUE(out().waitFor([&] { return out().acks.size() == 2; }));
    auto [reads, events, acks] =
        out().locked([&] { return std::make_tuple(out().reads, out().events, out().acks); });
    ASSERT_EQ(reads.size(), 1u);
    EXPECT_EQ(reads[0].record.kind, uint32_t(READ_VOLTAGE));
    EXPECT_EQ(reads[0].record.address.channel, 3u);
    EXPECT_EQ(reads[0].data, std::vector<uint8_t>{100});
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].type, uint32_t(EV_SOGL_LINE_STATE));
    EXPECT_EQ(events[0].value, 4u);
    EXPECT_EQ(events[0].address.channel, 1u);
    EXPECT_EQ(acks[0].type, uint32_t(ACKT_EXECUTE));
    EXPECT_EQ(acks[0].status, uint32_t(ACKS_OK));
    EXPECT_EQ(acks[0].hasAnswer, 1u);
    EXPECT_EQ(acks[0].answer, 255u);
    EXPECT_EQ(acks[0].command, 3u);
    EXPECT_EQ(acks[1].status, uint32_t(ACKS_HARDWARE_ERR));
    EXPECT_EQ(acks[1].hasAnswer, 0u);
    EXPECT_EQ(acks[1].address.channel, 3u);
    EXPECT_EQ(acks[1].command, 2u);
}

TEST_F(ReadTaskTest, EveryUnansweredCommandGetsItsOwnTimeout) {
    // Forget the start-up queries; three commands wait for answers.
    for (int i = 0; i < 4; ++i) {
        task()->handle_timeout(ACE_Time_Value::zero, nullptr);
    }
    out().clear();
    dev.readParameter(2, 1);
    dev.readParameter(4, 5);
    dev.dialPulseDigit(4, '5');
    for (int i = 0; i < 3; ++i) {
        task()->handle_timeout(ACE_Time_Value::zero, nullptr);
    }
    EXPECT_TRUE(out().locked([&] { return out().acks.empty(); }));
    task()->handle_timeout(ACE_Time_Value::zero, nullptr);
    auto acks = out().locked([&] { return out().acks; });
    ASSERT_EQ(acks.size(), 2u) << "none for the pulse digit";
    EXPECT_EQ(acks[0].command, 1u);
    EXPECT_EQ(acks[0].address.channel, 2u);
    EXPECT_EQ(acks[1].command, 5u);
    EXPECT_EQ(acks[1].address.channel, 4u);
    for (const auto& a : acks) {
        EXPECT_EQ(a.type, uint32_t(ACKT_EXECUTE));
        EXPECT_EQ(a.status, kAckStatusTimeout);
    }
}

TEST_F(ReadTaskTest, ClosingEndsTheThreadPromptlyWhenTheCardIsSilent) {
    const auto start = std::chrono::steady_clock::now();
    ts.stream().remove("DeviceModule0", Module::M_DELETE);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    auto commands = card().registerCommands();
    EXPECT_EQ(commands.back(), 0x47470005u) << "written after the card stopped";
    EXPECT_FALSE(card().started());
}

TEST(ReadTaskStart, ABoardThatCannotStartIsRefused) {
    ScriptedDriver drv{{configWord(6, 0, 0)}};
    drv.card(0).failStart(true);
    CK24Device dev{drv};
    ASSERT_EQ(dev.open(driver::deviceName(0), 0), 0);
    CK24ReadTask task(&dev, nullptr);
    EXPECT_EQ(task.open(), -1);
    EXPECT_EQ(task.thr_count(), 0u) << "its thread was ended again";
}

}  // namespace
}  // namespace orvel::tasktest

namespace orvel::tasktest {
namespace {

TEST(DcBlockingFilter, CoefficientsFollowTheUnitRate) {
    CDcBlockingFilter f;
    f.init(16000);
    EXPECT_FLOAT_EQ(f.a(), 0.9391f);
    EXPECT_FLOAT_EQ(f.g(), 0.9695f);
    f.init(12345);  // no row of its own
    EXPECT_FLOAT_EQ(f.a(), 0.8816f);
    EXPECT_FLOAT_EQ(f.g(), 0.9408f);
    // Truncated toward zero; a full-scale swing is limited, not wrapped.
    EXPECT_EQ(f.process(-32768), -30828);
    EXPECT_EQ(f.process(32767), 32767);
    EXPECT_EQ(f.process(-32768), -31260) << "the state keeps the unlimited output";
}

}  // namespace
}  // namespace orvel::tasktest
