// What the engine plays into a line and how the line's analysis hears it,
// for the tests that lay a far end's sounds under the echo of the engine's
// own output.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "analysis/signal_processing.h"
#include "board/dc_block_filter.h"

namespace orvel::testing {

// A 16-kHz sound as the board plays it: written as a message file and
// loaded and prepared by the engine's own loader. `wide` holds the prepared
// samples, `line` the line's 8-kHz view of them (two wide samples as one, as
// the simulator's hybrid takes them). Both empty, with a test failure, when
// the loader refuses the file.
struct PreparedSound {
    std::vector<int16_t> wide;
    std::vector<int16_t> line;
};
PreparedSound prepareAsPlayed(const std::vector<int16_t>& wide, const std::string& tag);

// The channel's analysis as the analyzer starts a call: calibrated on a quiet
// line with the corpus's noise (-65 dBm0), seized, filter mode 2, the engine
// playing. frame() passes 64 line samples through the board's DC filter.
class AnalysedLine {
public:
    static constexpr int kFrame = 64;
    explicit AnalysedLine(CSignalProcessing& sp);
    const int16_t* frame(const float* x);

private:
    CDcBlockingFilter dc_;
    int16_t frame_[kFrame] = {};
};

}  // namespace orvel::testing
