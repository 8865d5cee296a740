// The input frame parser: frames cut by reads, garbage between frames,
// frames of units without lines, and any split of a stream giving the same
// frames.
#include <gtest/gtest.h>

#include <random>

#include "board/k24_frame_parser.h"
#include "task_harness.h"
#include "test_util.h"

namespace orvel::tasktest {
namespace {

struct Frame {
    bool data;
    uint32_t unit;
    uint32_t local;  // unit frames
    uint8_t value;
    uint8_t command;
    int16_t first;  // data frames: sample of local channel 0
    bool operator==(const Frame& o) const {
        return data == o.data && unit == o.unit && local == o.local && value == o.value &&
               command == o.command && first == o.first;
    }
};

class Collect : public CK24FrameParser::Sink {
public:
    void dataFrame(uint32_t unit, const uint8_t* s) override {
        frames.push_back({true, unit, 0, 0, 0, static_cast<int16_t>(s[0] | (s[1] << 8))});
    }
    void unitFrame(uint32_t unit, uint32_t local, uint8_t value, uint8_t command) override {
        frames.push_back({false, unit, local, value, command, 0});
    }
    std::vector<Frame> frames;
};

// A 2+0+3 board: units 0 and 2 have lines, unit 1 none.
CK24FrameParser makeParser(size_t capacity = 4096) {
    CK24FrameParser p(capacity);
    p.setLayout({2, 0, 3});
    return p;
}

std::vector<uint8_t> stream203(int samples) {
    std::vector<uint8_t> bytes;
    for (int i = 0; i < samples; ++i) {
        append(bytes, dataFrame(0, {static_cast<int16_t>(i), 1}));
        append(bytes, dataFrame(2, {static_cast<int16_t>(-i), 2, 3}));
        if (i % 3 == 0) {
            append(bytes, unitFrame(2, 1, 24, static_cast<uint8_t>(i)));
        }
    }
    return bytes;
}

TEST(FrameParser, AFrameCutByTheEndOfAReadIsCompletedFromTheNext) {
    auto parser = makeParser();
    Collect out;
    auto bytes = stream203(4);
    const size_t cut = 14 + 5;  // inside unit 2's first data frame
    parser.feed(bytes.data(), cut, out);
    EXPECT_EQ(out.frames.size(), 1u);
    EXPECT_EQ(parser.carried(), 5u);
    parser.feed(bytes.data() + cut, bytes.size() - cut, out);
    EXPECT_EQ(out.frames.size(), 4u * 2 + 2);
    EXPECT_EQ(parser.bytesLost(), 0u);
    EXPECT_EQ(parser.carried(), 0u);
    EXPECT_EQ(out.frames[1], (Frame{true, 2, 0, 0, 0, 0}));
}

TEST(FrameParser, EverySplitOfAStreamGivesTheSameFrames) {
    auto bytes = stream203(40);
    auto whole = makeParser();
    Collect expected;
    whole.feed(bytes.data(), bytes.size(), expected);
    ASSERT_EQ(expected.frames.size(), 40u * 2 + 14);
    std::mt19937 rng(7);
    for (int round = 0; round < 50; ++round) {
        auto parser = makeParser();
        Collect out;
        size_t p = 0;
        while (p < bytes.size()) {
            size_t n = std::min<size_t>(bytes.size() - p, rng() % 30 + 1);
            parser.feed(bytes.data() + p, n, out);
            p += n;
        }
        ASSERT_EQ(out.frames, expected.frames) << "round " << round;
        EXPECT_EQ(parser.bytesLost(), 0u);
    }
}

TEST(FrameParser, GarbageBetweenFramesIsSkippedAndCounted) {
    testing::TempDir dir;
    auto parser = makeParser();
    Collect out;
    std::vector<uint8_t> bytes;
    append(bytes, dataFrame(0, {11}));
    // Seven bytes that are no frame; one of them even looks like a start.
    append(bytes, {0xFF, 0x13, 0x00, 0x47, 0x90, 0x47, 0x22});
    append(bytes, dataFrame(2, {22}));
    append(bytes, unitFrame(0, 1, 23, 4));
    append(bytes, dataFrame(0, {33}));
    {
        LogCapture log(dir.file("log.txt"));
        parser.feed(bytes.data(), bytes.size(), out);
        EXPECT_EQ(log.count(" Digital stream lost at 14 "), 1u);
        EXPECT_EQ(log.count("bytes lost 7"), 1u);
    }
    ASSERT_EQ(out.frames.size(), 4u);
    EXPECT_EQ(out.frames[1], (Frame{true, 2, 0, 0, 0, 22}));
    EXPECT_EQ(out.frames[2], (Frame{false, 0, 1, 4, 23, 0}));
    EXPECT_EQ(parser.lastLoss(), 7u);
    EXPECT_EQ(parser.losses(), 1u);
}

TEST(FrameParser, FramesOfAUnitWithoutLinesAreLossesWhateverComesBefore) {
    auto parser = makeParser();
    Collect out;
    std::vector<uint8_t> bytes;
    append(bytes, dataFrame(2, {1}));  // unit 2 has lines although unit 1 has none
    append(bytes, dataFrame(1, {2}));  // unit 1 has none
    append(bytes, dataFrame(0, {3}));
    append(bytes, unitFrame(3, 0, 23, 1));  // no unit 3
    append(bytes, dataFrame(2, {4}));
    append(bytes, dataFrame(0, {5}));
    parser.feed(bytes.data(), bytes.size(), out);
    ASSERT_EQ(out.frames.size(), 4u);
    EXPECT_EQ(out.frames[0].first, 1);
    EXPECT_EQ(out.frames[1].first, 3);
    EXPECT_EQ(out.frames[2].first, 4);
    EXPECT_EQ(parser.bytesLost(), 14u + 4u);
}

TEST(FrameParser, AUnitFrameMustNameALineOfItsUnitOrTheUnitsOwnReadings) {
    auto parser = makeParser();
    Collect out;
    std::vector<uint8_t> bytes;
    append(bytes, unitFrame(0, 2, 23, 1));    // unit 0 has lines 0 and 1 only
    append(bytes, unitFrame(0, 6, 24, 128));  // 5 V supply reading
    append(bytes, unitFrame(2, 7, 24, 213));  // 12 V supply reading
    append(bytes, unitFrame(2, 5, 25, 40));   // a command the unit did not know
    append(bytes, unitFrame(2, 6, 23, 1));    // no line 6
    append(bytes, unitFrame(2, 2, 23, 3));
    append(bytes, dataFrame(0, {1}));
    parser.feed(bytes.data(), bytes.size(), out);
    ASSERT_EQ(out.frames.size(), 5u);
    EXPECT_EQ(out.frames[0], (Frame{false, 0, 6, 128, 24, 0}));
    EXPECT_EQ(out.frames[3], (Frame{false, 2, 2, 3, 23, 0}));
    EXPECT_EQ(parser.bytesLost(), 8u);
}

TEST(FrameParser, LookAheadAndCarryStayWithinTheBytesRead) {
    // Resynchronising needs the start of the following frame: when a read
    // ends before it, the candidate waits for the next read.
    auto parser = makeParser(64);
    Collect out;
    std::vector<uint8_t> bytes = {0x80, 0x47, 0x55};
    append(bytes, dataFrame(0, {9}));
    parser.feed(bytes.data(), bytes.size(), out);
    EXPECT_TRUE(out.frames.empty());
    EXPECT_TRUE(parser.resynchronising());
    EXPECT_LE(parser.carried(), CK24FrameParser::kMaxCarry);
    auto next = dataFrame(2, {8});
    parser.feed(next.data(), next.size(), out);
    ASSERT_EQ(out.frames.size(), 2u);
    EXPECT_EQ(out.frames[0].first, 9);
    EXPECT_EQ(out.frames[1].first, 8);
    EXPECT_EQ(parser.lastLoss(), 3u);

    // Long garbage across many reads keeps the carry bounded.
    std::vector<uint8_t> junk(10000, 0x47);
    for (size_t p = 0; p < junk.size(); p += 37) {
        parser.feed(junk.data() + p, std::min<size_t>(37, junk.size() - p), out);
        ASSERT_LE(parser.carried(), CK24FrameParser::kMaxCarry);
    }
    parser.dropCarry();
    EXPECT_EQ(parser.carried(), 0u);
}

}  // namespace
}  // namespace orvel::tasktest
