// CDtmfDetector: recognises the keys a called subscriber presses. Eight
// Goertzel filters run over 30-ms blocks; a key is a pair (one per group)
// that carries more than 80 % of its group's power in two consecutive
// blocks. There is no absolute level threshold and no twist test, so a weak
// but clean pair is recognised. The key '*' is reported as 'x'.
#pragma once

#include <cstddef>
#include <cstdint>

#include "analysis/dtmf_guard.h"

namespace orvel {

class CDtmfDetector {
public:
    static constexpr int kFilters = 8;
    static constexpr std::size_t kMaxDigits = 15;
    static constexpr double kBlockSeconds = 0.03;  // 240 samples at 8000 Hz

    CDtmfDetector();

    // Stores the rate and computes the block length and the coefficients.
    // A rate of 0 is refused and leaves the detector as it was.
    void init(uint32_t sampleRate);
    void reset();
    // Runs the samples through the filters; true when at least one key is
    // waiting in the digit buffer.
    bool process(const int16_t* samples, std::size_t count);

    // The recognised keys, zero-terminated.
    // Puts the confirmation guard in front of every key (off after
    // construction: then a key is any pair that dominates its groups).
    void setGuard(bool on) { guardOn_ = on; }
    bool guard() const { return guardOn_; }

    // What the last judged block was, for measurements: a key candidate, or
    // which test refused it (no tone dominating its group, or the guard's).
    enum class BlockVerdict : uint8_t { Key, NoRow, NoColumn, Weak, Twist, Outside };
    BlockVerdict lastVerdict() const { return lastVerdict_; }
    uint32_t blocksJudged() const { return blocksJudged_; }

    const char* digits() const { return digits_; }
    uint32_t digitCount() const { return digitCount_; }
    uint32_t blockLength() const { return blockLength_; }
    uint32_t sampleRate() const { return sampleRate_; }

private:
    typedef float Vec8 __attribute__((vector_size(32)));

    void run(const int16_t* samples, std::size_t count);
    void judge();

    Vec8 coef_{};
    Vec8 power_{};
    Vec8 s1_{};
    Vec8 s2_{};
    float energy_ = 0;  // sum of the squared samples of the block
    // Per filter: the accumulated power of a unit sine at the filter's
    // nominal frequency, against that of one at the bin's centre (the bins
    // do not fall on the DTMF frequencies).
    float toneGain_[kFilters] = {};
    CDtmfGuard guardLimits_;
    bool guardOn_ = false;
    uint32_t filled_ = 0;
    uint32_t digitCount_ = 0;
    uint32_t sampleRate_ = 0;
    uint32_t blockLength_ = 0;
    uint32_t repeatCount_ = 0;
    bool emitted_ = false;
    BlockVerdict lastVerdict_ = BlockVerdict::NoRow;
    uint32_t blocksJudged_ = 0;
    char lastCandidate_ = '~';
    char digits_[kMaxDigits + 1] = {};
    char keyTable_[16] = {};
};

}  // namespace orvel
