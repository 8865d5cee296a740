// What steady tones the engine itself plays, and when.
//
// CToneMap is made once, when a sound is loaded: for every 32-ms block of
// its 16-kHz samples the frequencies of the pure tones in it (an attention
// signal, a siren, the beep), none where it speaks. The transmit side looks
// up its play position in it and publishes the block's tones per channel in
// a CPlayingTones; the channel's analysis reads them there, so that the echo
// of its own tone coming back from the line is not taken for a machine's.
//
// A block's tones travel as one 64-bit word (ToneWord): up to four
// frequencies in eighths of a hertz, 0 for an empty place.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace orvel {

namespace tone_word {
inline constexpr int kPlaces = 4;
inline constexpr double kUnitsPerHz = 8.0;
// Adds `hz` (up to 8191 Hz) to the first empty place; a full word stays as it is.
uint64_t add(uint64_t word, double hz);
// The frequency in place `i` (0 when empty).
double at(uint64_t word, int i);
}  // namespace tone_word

class CToneMap {
public:
    static constexpr int kRate = 16000;
    static constexpr int kBlock = 512;  // samples, 32 ms at 16 kHz
    static constexpr int kLowHz = 250;
    static constexpr int kHighHz = 3500;

    // Analyses `count` samples at 16 kHz. False when the transform cannot be
    // made (the map then knows no tone).
    bool build(const int16_t* samples, std::size_t count);
    // A map of one tone throughout (the beep, generated, needs no analysis).
    void constant(double hz, std::size_t count);
    // The tones of the block that holds sample `position`; 0 past the end.
    uint64_t at(std::size_t position) const {
        const std::size_t b = position / kBlock;
        return b < words_.size() ? words_[b] : 0;
    }
    std::size_t blocks() const { return words_.size(); }

private:
    std::vector<uint64_t> words_;
};

// The tones every channel of a board plays at this moment: written by the
// board's transmit thread, read by its receive thread. Lock-free, so the
// analysis takes no lock of the transmit side.
class CPlayingTones {
public:
    static constexpr std::size_t kChannels = 18;

    void publish(uint32_t channel, uint64_t word) {
        if (channel < kChannels) {
            slots_[channel].store(word, std::memory_order_relaxed);
        }
    }
    uint64_t read(uint32_t channel) const {
        return channel < kChannels ? slots_[channel].load(std::memory_order_relaxed) : 0;
    }

private:
    std::array<std::atomic<uint64_t>, kChannels> slots_{};
};

}  // namespace orvel
