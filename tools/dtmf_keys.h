// The keys the engine's DTMF detector reports in a stretch of line samples,
// fed as the channel's analysis feeds it: 64-sample frames, the detector
// reset after every key.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "analysis/dtmf_detector.h"

namespace orvel::tools {

inline std::string detectKeys(const std::vector<int16_t>& x, bool guard) {
    CDtmfDetector d;
    d.init(8000);
    d.setGuard(guard);
    std::string keys;
    for (size_t b = 0; b + 64 <= x.size(); b += 64) {
        if (d.process(x.data() + b, 64)) {
            keys += d.digits()[0];
            d.reset();
        }
    }
    return keys;
}

}  // namespace orvel::tools
