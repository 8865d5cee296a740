// COutputFrames: the transmit side's output frames, prepared ahead of the
// card. Every frame holds one 16-bit sample (16000 Hz) per hardware channel;
// each playing channel writes its samples into consecutive frames from its
// own fill position, and a frame is ready to go to the card once every
// channel that plays has written into it. Plain state, no lock: the
// transmit task guards it with its own.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace orvel {

class COutputFrames {
public:
    static constexpr uint32_t kCapacity = 1024;  // 64 ms ahead at 16000 frames/s
    static constexpr uint32_t kSlots = 32;       // hardware channels in a frame
    static constexpr size_t kFrameBytes = kSlots * sizeof(int16_t);

    COutputFrames();

    // Forgets every frame and every channel's position and activity.
    void clear();

    // A channel that plays counts for the readiness of the frames.
    void activate(uint32_t slot);
    // It no longer counts; frames that the remaining players have filled
    // become ready.
    void deactivate(uint32_t slot);
    bool active(uint32_t slot) const { return slot < kSlots && active_[slot]; }
    uint32_t activeCount() const { return activeCount_; }

    // Writes samples of `slot` from its fill position on, as many as fit;
    // null `samples` writes silence. Returns how many were written.
    size_t write(uint32_t slot, const int16_t* samples, size_t count);
    uint32_t fillPosition(uint32_t slot) const { return slot < kSlots ? fill_[slot] : 0; }
    void setFillPosition(uint32_t slot, uint32_t position);

    // The leading frames that are complete, as bytes for the card (low byte first).
    uint32_t ready() const { return ready_; }
    const uint8_t* data() const { return bytes_.data(); }
    // The first `frames` ready frames went to the card: the rest move to the front.
    void consumed(uint32_t frames);

    // Sample of a slot in a frame (for tests and diagnostics).
    int16_t sample(uint32_t frame, uint32_t slot) const;
    uint32_t frameFill(uint32_t frame) const { return frame < kCapacity ? counts_[frame] : 0; }

private:
    void advanceReady();
    // Frames in use: up to the furthest fill position or the ready count.
    uint32_t used() const;

    std::vector<uint8_t> bytes_;
    std::vector<uint32_t> counts_;  // channels that wrote into each frame
    std::array<uint32_t, kSlots> fill_{};
    std::array<bool, kSlots> active_{};
    uint32_t activeCount_ = 0;
    uint32_t ready_ = 0;
};

}  // namespace orvel
