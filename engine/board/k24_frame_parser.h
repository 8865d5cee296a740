// CK24FrameParser: splits a board's input byte stream into its frames.
//
// A data frame (14 bytes) carries one sample of each line of a unit; a unit
// frame (4 bytes) carries a unit's answer, line-state report or converter
// reading. Both start with a descriptor byte (bit 7 clear; bit 3 set for a
// unit frame; bits 0-1 the unit) followed by 0x47. Reads end anywhere, so a
// frame cut at the end of one read is carried into the next. After bytes that
// are no frame the parser skips to a position where a frame start is followed
// by another one, and reports how many bytes it lost.
//
// The parser owns the read buffer: the caller reads into readPointer() (the
// carried bytes already sit in front of it) and commits what it read. Carry
// and look-ahead never reach past the bytes actually read.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace orvel {

class CK24FrameParser {
public:
    static constexpr size_t kDataFrameBytes = 14;
    static constexpr size_t kUnitFrameBytes = 4;
    static constexpr uint8_t kFrameMark = 0x47;
    // Longest frame plus the next frame's two start bytes.
    static constexpr size_t kMaxCarry = kDataFrameBytes + 2;
    static constexpr size_t kUnits = 3;
    static constexpr uint32_t kLocalChannels = 6;  // samples in a data frame

    class Sink {
    public:
        virtual ~Sink() = default;
        // `samples`: six signed 16-bit samples, low byte first.
        virtual void dataFrame(uint32_t unit, const uint8_t* samples) = 0;
        virtual void unitFrame(uint32_t unit, uint32_t local, uint8_t value, uint8_t command) = 0;
    };

    explicit CK24FrameParser(size_t readCapacity);

    // Channels of each unit (0..6). Frames of a unit without channels are
    // losses, whichever units come before it.
    void setLayout(const std::array<uint32_t, kUnits>& unitChannels);

    uint8_t* readPointer() { return buffer_.data() + carried_; }
    size_t readRoom() const { return buffer_.size() - carried_; }
    // Parses the carried bytes and `n` bytes just read at readPointer().
    void commit(size_t n, Sink& sink);
    // Copies `data` in, as many reads as it takes, and parses it.
    void feed(const uint8_t* data, size_t n, Sink& sink);
    // A failed read: the carried bytes are given up.
    void dropCarry();
    // Forgets everything, as at a new start of the card.
    void reset();

    size_t carried() const { return carried_; }
    bool resynchronising() const { return resync_; }
    // Bytes skipped by the last completed resynchronisation, and in all.
    uint64_t lastLoss() const { return lastLoss_; }
    uint64_t bytesLost() const { return bytesLost_; }
    uint64_t losses() const { return losses_; }
    uint64_t frames() const { return frames_; }

    static size_t frameLength(uint8_t descriptor) {
        return (descriptor & 0x08) != 0 ? kUnitFrameBytes : kDataFrameBytes;
    }
    static bool isFrameStart(uint8_t descriptor, uint8_t mark) {
        return (descriptor & 0x80) == 0 && mark == kFrameMark;
    }

private:
    size_t parse(const uint8_t* buf, size_t n, Sink& sink);
    bool unitFrameValid(uint32_t unit, uint32_t local, uint8_t command) const;
    void beginLoss(const uint8_t* buf, size_t offset);
    void skip(uint8_t byte);
    void endLoss();

    std::vector<uint8_t> buffer_;
    size_t carried_ = 0;
    std::array<uint32_t, kUnits> unitChannels_{};
    std::array<uint32_t, kUnits * kLocalChannels> unitOfChannel_{};

    bool resync_ = false;
    uint64_t skipped_ = 0;       // bytes of the loss in progress
    std::vector<uint8_t> dump_;  // its first bytes, for the log
    uint64_t lastLoss_ = 0;
    uint64_t bytesLost_ = 0;
    uint64_t losses_ = 0;
    uint64_t frames_ = 0;
};

}  // namespace orvel
