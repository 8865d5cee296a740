// CDtmfToneGenerator: one 125-ms buffer of DTMF tone per key at one sending
// level, played by the transmit task when it dials by tones. CDtmfToneBank
// holds the six levels the engine uses.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace orvel::dsp {

class CDtmfToneGenerator {
public:
    static constexpr int kDefaultRate = 16000;
    static constexpr int kKeys = 12;  // 0..9, *, #

    // rate 0 means 16000. Returns 0, or -1 with errno = ENOMEM.
    int build(int rate, int amplitude);
    // The key's buffer ('0'..'9', '*', '#'), or null for any other character
    // (keys 'A'..'D', pauses such as ',' have no tone: callers must cope).
    const int16_t* keyBuffer(char key) const;
    const int16_t* silence() const;
    // Samples in every buffer: rate ÷ 8.
    std::size_t keyLength() const { return length_; }
    int rate() const { return rate_; }
    int amplitude() const { return amplitude_; }

private:
    int rate_ = 0;
    int amplitude_ = 0;
    std::size_t length_ = 0;
    std::array<std::vector<int16_t>, kKeys + 1> buffers_;  // last: silence
};

class CDtmfToneBank {
public:
    static constexpr int kLevels = 6;
    static constexpr std::array<int, kLevels> kAmplitudes = {2000, 2500, 3000, 4000, 6500, 8000};

    // Builds all six levels; 0 or -1.
    int build(int rate = CDtmfToneGenerator::kDefaultRate);
    // Any level above 5 (or below 0) uses level 0.
    const CDtmfToneGenerator& level(int dtmfLevel) const;

private:
    std::array<CDtmfToneGenerator, kLevels> levels_;
};

}  // namespace orvel::dsp
