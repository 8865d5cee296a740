#include "analysis/dtmf_guard.h"

#include <cmath>

namespace orvel {
namespace {

constexpr double kZeroDbm0Peak = 22706.0;  // sine peak at 0 dBm0 (16-bit, +3.14 dBm0 full scale)

}  // namespace

// A sine of amplitude A makes the Goertzel output after n samples about
// (A n / 2)²; summed over the block, P = A² N³ / 12. Its energy in the block
// is A² N / 2 = 6 P / N².
double CDtmfGuard::toneEnergy(float power, uint32_t blockLength) {
    const double n = blockLength;
    return 6.0 * static_cast<double>(power) / (n * n);
}

double CDtmfGuard::toneDbm0(float power, uint32_t blockLength) {
    const double n = blockLength;
    const double amplitude =
        std::sqrt(std::max(0.0, 12.0 * static_cast<double>(power) / (n * n * n)));
    if (amplitude <= 0) {
        return -200.0;
    }
    return 20.0 * std::log10(amplitude / kZeroDbm0Peak);
}

bool CDtmfGuard::accept(float lowPower, float highPower, float blockEnergy,
                        uint32_t blockLength) const {
    return judge(lowPower, highPower, blockEnergy, blockLength) == DtmfGuardVerdict::Accepted;
}

DtmfGuardVerdict CDtmfGuard::judge(float lowPower, float highPower, float blockEnergy,
                                   uint32_t blockLength) const {
    const double low = toneDbm0(lowPower, blockLength);
    const double high = toneDbm0(highPower, blockLength);
    if (low < limits_.minToneDbm0 || high < limits_.minToneDbm0) {
        return DtmfGuardVerdict::Weak;
    }
    const double twist = high - low;
    if (twist > limits_.normalTwistDb + limits_.twistAllowanceDb ||
        -twist > limits_.reverseTwistDb + limits_.twistAllowanceDb) {
        return DtmfGuardVerdict::Twist;
    }
    if (blockEnergy <= 0) {
        return DtmfGuardVerdict::Outside;
    }
    const double pair = toneEnergy(lowPower, blockLength) + toneEnergy(highPower, blockLength);
    return pair >= limits_.minPairShare * static_cast<double>(blockEnergy)
               ? DtmfGuardVerdict::Accepted
               : DtmfGuardVerdict::Outside;
}

}  // namespace orvel
