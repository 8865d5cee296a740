// CHumFilter: a fourth-order high-pass below the telephone band in front of
// the call-progress analysis. Mains hum (50 Hz and its third harmonic) is
// out of band, but a 128-point spectrum without a window spreads it over the
// lowest bins, where it masks a distant voice and makes a sound of its own.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace orvel {

class CHumFilter {
public:
    static constexpr double kCornerHz = 250.0;

    void init(double sampleRate);
    void reset();
    // `count` samples of `in` filtered into `out` (may be the same buffer).
    void process(const int16_t* in, int16_t* out, std::size_t count);

private:
    struct Section {
        double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
        double z1 = 0, z2 = 0;
        double step(double x);
    };
    std::array<Section, 2> sections_{};
};

}  // namespace orvel
