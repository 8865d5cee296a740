#include "analysis/dtmf_detector.h"

#include <cmath>
#include <cstring>
#include <numbers>

namespace orvel {

namespace {

// Low group, then high group.
constexpr double kFrequencies[CDtmfDetector::kFilters] = {697,  770,  852,  941,
                                                          1209, 1336, 1477, 1633};
// Row = low group index, column = high group index.
constexpr char kKeys[] = "123A456B789Cx0#D";
constexpr float kGroupShare = 0.8f;
constexpr uint32_t kDefaultRate = 8000;

// All eight filters advance together in one vector register. With FMA the
// state update is one fused step (written c*s1 + (x - s2) so that x - s2 is
// off the critical path); the library is built for plain x86-64, so the
// FMA form is chosen at load time on processors that have it. Not in
// sanitizer builds: the choice runs before the sanitizer's runtime is ready.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && \
    !defined(__SANITIZE_THREAD__) && !defined(__SANITIZE_ADDRESS__)
#define ORVEL_GOERTZEL_CLONES __attribute__((target_clones("fma", "default")))
#else
#define ORVEL_GOERTZEL_CLONES
#endif

typedef float Vec8 __attribute__((vector_size(32)));

// The state lives in the detector as 8-float vectors; it is passed as plain
// floats so that no 32-byte vector crosses a call boundary.
ORVEL_GOERTZEL_CLONES void goertzelSteps(const int16_t* samples, std::size_t count,
                                         const float* coef, float* s1Io, float* s2Io,
                                         float* powerIo) {
    Vec8 c, s1, s2, power;
    std::memcpy(&c, coef, sizeof c);
    std::memcpy(&s1, s1Io, sizeof s1);
    std::memcpy(&s2, s2Io, sizeof s2);
    std::memcpy(&power, powerIo, sizeof power);
    for (std::size_t n = 0; n < count; ++n) {
        const Vec8 next = c * s1 + (static_cast<float>(samples[n]) - s2);
        s2 = s1;
        s1 = next;
        power += s1 * s1 + s2 * s2 - c * s1 * s2;
    }
    std::memcpy(s1Io, &s1, sizeof s1);
    std::memcpy(s2Io, &s2, sizeof s2);
    std::memcpy(powerIo, &power, sizeof power);
}

}  // namespace

CDtmfDetector::CDtmfDetector() {
    std::memcpy(keyTable_, kKeys, sizeof keyTable_);
    init(kDefaultRate);
    reset();
}

void CDtmfDetector::init(uint32_t sampleRate) {
    if (sampleRate == 0) {
        return;
    }
    sampleRate_ = sampleRate;
    blockLength_ = static_cast<uint32_t>(std::lround(sampleRate * kBlockSeconds));
    if (blockLength_ == 0) {
        blockLength_ = 1;
    }
    for (int i = 0; i < kFilters; ++i) {
        // Bin rounded half away from zero (lround does exactly that).
        const double k = static_cast<double>(
            std::lround(kFrequencies[i] * blockLength_ / static_cast<double>(sampleRate)));
        coef_[i] = static_cast<float>(2.0 * std::cos(2.0 * std::numbers::pi * k / blockLength_));
        // The guard's level and energy tests assume a tone on the bin; a
        // DTMF tone sits up to half a bin beside it and builds up less power.
        double s1 = 0, s2 = 0, power = 0;
        const double c = coef_[i];
        for (uint32_t n = 0; n < blockLength_; ++n) {
            const double x = std::sin(2.0 * std::numbers::pi * kFrequencies[i] * n / sampleRate);
            const double next = c * s1 - s2 + x;
            s2 = s1;
            s1 = next;
            power += s1 * s1 + s2 * s2 - c * s1 * s2;
        }
        const double n = blockLength_;
        const double onBin = n * n * n / 12.0;
        toneGain_[i] = power > 0 ? static_cast<float>(onBin / power) : 1.0f;
    }
    if (filled_ > blockLength_) {
        filled_ = 0;
    }
}

void CDtmfDetector::reset() {
    filled_ = 0;
    digitCount_ = 0;
    repeatCount_ = 0;
    emitted_ = false;
    lastCandidate_ = '~';
    std::memset(digits_, 0, sizeof digits_);
    power_ = Vec8{};
    s1_ = Vec8{};
    s2_ = Vec8{};
    energy_ = 0;
}

void CDtmfDetector::run(const int16_t* samples, std::size_t count) {
    goertzelSteps(samples, count, reinterpret_cast<const float*>(&coef_),
                  reinterpret_cast<float*>(&s1_), reinterpret_cast<float*>(&s2_),
                  reinterpret_cast<float*>(&power_));
    if (guardOn_) {
        float e = 0;
        for (std::size_t n = 0; n < count; ++n) {
            const float x = samples[n];
            e += x * x;
        }
        energy_ += e;
    }
}

bool CDtmfDetector::process(const int16_t* samples, std::size_t count) {
    if (samples != nullptr && count > 0) {
        const std::size_t room = blockLength_ - filled_;
        if (room >= count) {
            run(samples, count);
            filled_ += static_cast<uint32_t>(count);
        } else {
            run(samples, room);
            judge();
            s1_ = Vec8{};
            s2_ = Vec8{};
            power_ = Vec8{};
            energy_ = 0;
            // What is left starts the next block; a call longer than a whole
            // block judges every block it completes.
            samples += room;
            count -= room;
            while (count > blockLength_) {
                run(samples, blockLength_);
                judge();
                s1_ = s2_ = power_ = Vec8{};
                energy_ = 0;
                samples += blockLength_;
                count -= blockLength_;
            }
            run(samples, count);
            filled_ = static_cast<uint32_t>(count);
        }
    }
    return digitCount_ != 0;
}

void CDtmfDetector::judge() {
    const float lowThreshold = kGroupShare * (power_[0] + power_[1] + power_[2] + power_[3]);
    const float highThreshold = kGroupShare * (power_[4] + power_[5] + power_[6] + power_[7]);
    int row = -1;
    int column = -1;
    for (int i = 0; i < 4; ++i) {
        if (power_[i] > lowThreshold && (row < 0 || power_[i] > power_[row])) {
            row = i;
        }
        if (power_[4 + i] > highThreshold && (column < 0 || power_[4 + i] > power_[4 + column])) {
            column = i;
        }
    }
    ++blocksJudged_;
    if (row < 0 || column < 0) {
        lastVerdict_ = row < 0 ? BlockVerdict::NoRow : BlockVerdict::NoColumn;
        lastCandidate_ = '?';
        return;
    }
    if (guardOn_) {
        const DtmfGuardVerdict v =
            guardLimits_.judge(power_[row] * toneGain_[row],
                               power_[4 + column] * toneGain_[4 + column], energy_, blockLength_);
        if (v != DtmfGuardVerdict::Accepted) {
            lastVerdict_ = v == DtmfGuardVerdict::Weak    ? BlockVerdict::Weak
                           : v == DtmfGuardVerdict::Twist ? BlockVerdict::Twist
                                                          : BlockVerdict::Outside;
            lastCandidate_ = '?';
            return;
        }
    }
    lastVerdict_ = BlockVerdict::Key;
    const char key = keyTable_[row * 4 + column];
    if (key != lastCandidate_) {
        lastCandidate_ = key;
        repeatCount_ = 1;
        emitted_ = false;
        return;
    }
    ++repeatCount_;
    if (repeatCount_ >= 2 && !emitted_) {
        if (digitCount_ < kMaxDigits) {
            digits_[digitCount_++] = key;
            digits_[digitCount_] = '\0';
        }
        emitted_ = true;
    }
}

}  // namespace orvel
