// CDtmfGuard: the tests a key must pass before the DTMF detector believes
// it, on top of the detector's "one tone dominates each group": each tone
// loud enough, the two tones' levels close enough (twist), and little
// energy outside the two tones. Without it speech, music and the echo of
// the engine's own message produce keys (the confirmation key 9 among
// them) that nobody pressed.
//
// The guard judges one analysis block from the detector's accumulated
// Goertzel powers and the block's plain energy; it has no state of its own.
#pragma once

#include <cstdint>

namespace orvel {

struct DtmfGuardLimits {
    // Each of the two tones. A key sent at -10 dBm0 over a long line with
    // 30 dB of loss arrives with its weaker tone near -46 dBm0.
    double minToneDbm0 = -46.0;
    double normalTwistDb = 8.0;   // high tone louder than the low one
    double reverseTwistDb = 8.0;  // low tone louder than the high one
    // The twist a block shows is the key's only when the tones fill it: a
    // block that a short key covers in part, with noise on the line, shows
    // up to this much more. A key within the limits above is accepted even
    // so; more twist than limit and allowance never is.
    double twistAllowanceDb = 1.5;
    double minPairShare = 0.25;   // of the block's energy in the two tones
};

// Which of the guard's tests refused a block, for measurements.
enum class DtmfGuardVerdict : uint8_t { Accepted, Weak, Twist, Outside };

class CDtmfGuard {
public:
    explicit CDtmfGuard(const DtmfGuardLimits& limits = {}) : limits_(limits) {}

    // As accept(), naming the first test that refused.
    DtmfGuardVerdict judge(float lowPower, float highPower, float blockEnergy,
                           uint32_t blockLength) const;

    // `lowPower` and `highPower` are the detector's accumulated powers of
    // the row and column filters over a block of `blockLength` samples,
    // `blockEnergy` the sum of the squared samples of that block.
    bool accept(float lowPower, float highPower, float blockEnergy, uint32_t blockLength) const;

    // The level in dBm0 of a steady tone whose accumulated power over a block
    // is `power` (the detector sums the Goertzel output after every sample).
    static double toneDbm0(float power, uint32_t blockLength);
    // The energy a steady tone of that accumulated power puts into the block.
    static double toneEnergy(float power, uint32_t blockLength);

    const DtmfGuardLimits& limits() const { return limits_; }

private:
    DtmfGuardLimits limits_;
};

}  // namespace orvel
