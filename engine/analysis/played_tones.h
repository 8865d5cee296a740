// CPlayedTones: the frequencies of the steady tones the engine has played
// into this line in the last quarter of a second, frame by frame. Their echo
// comes back from the line's hybrid up to some 64 ms later (and the
// transmit side publishes what it plays up to 64 ms before the card sends
// it); a machine's tone within a few tens of hertz of one of them cannot be
// told from that echo, so the machine-tone tests pass it by. A beep at
// another frequency, or at the same one while the engine speaks or is
// silent, is still a machine's.
#pragma once

#include <array>
#include <cstdint>

namespace orvel {

class CPlayedTones {
public:
    static constexpr int kHoldFrames = 30;      // 240 ms of 8-ms frames
    static constexpr double kNearHz = 30.0;     // echo and machine tone not told apart
    static constexpr double kSameToneHz = 4.0;  // a known tone seen again
    static constexpr int kCapacity = 16;        // a siren's glide over the hold time

    void reset();
    // One frame: `word` is what the transmit side publishes (tone_word).
    void advance(uint64_t word);
    // True while a tone played within the hold time lies within
    // `toleranceHz` (kNearHz; wider for a coarse spectrum's bins).
    bool near(double hz, double toleranceHz = kNearHz) const;
    // True when any tone is remembered (nothing to avoid otherwise).
    bool any() const { return count_ > 0; }

private:
    struct Entry {
        double hz = 0;
        uint32_t frame = 0;  // when last played
    };
    void note(double hz);

    std::array<Entry, kCapacity> entries_{};
    int count_ = 0;
    uint32_t frame_ = 0;
};

}  // namespace orvel
