// How the engine's call-progress chain (front end, detector with a rule base
// and a tone profile, line-state filter) hears one cadence of a simulated
// tone plan: the cadence is generated as the simulated exchange plays it
// (5 % cadence jitter, random start, line noise at -65 dBm0) and fed frame by
// frame to the chain as after dialling. The verdict is the call algorithm's:
// ring-back is heard when a ring-back report comes before three busy reports
// in a row, busy when three busy reports in a row come at all.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "analysis/signal_processing.h"
#include "codes.h"
#include "line_settings.h"
#include "tones.h"

namespace orvel::tools {

inline ToneProfile toneProfileOf(const TonePlanEntry& plan) {
    return {plan.bandLowHz, plan.bandHighHz, plan.levelHoldFrames, plan.aonTest};
}

inline std::vector<uint32_t> toneReports(const std::string& fis, const ToneProfile& profile,
                                         const sim::Cadence& c, double dbm0, uint32_t seed) {
    CSignalProcessing sp;
    sp.loadFis(fis);
    sp.setSensitivityDb(20);  // the engine's default
    sp.setToneProfile(profile);
    sim::NoiseSource noise;
    noise.init(seed, -65);
    std::vector<float> x(8000 * 40, 0.0f);
    noise.process(x.data(), static_cast<int>(x.size()));
    sim::TonePlayer p;
    p.init(&c, sim::toneAmplitude(dbm0), {0.05f, true, seed});
    p.process(x.data() + 8000 * 3, 8000 * 36);  // after two seconds of calibration
    std::vector<int16_t> s(x.size());
    for (size_t i = 0; i < x.size(); ++i) {
        s[i] = static_cast<int16_t>(std::max(-32768.0f, std::min(32767.0f, x[i])));
    }
    sp.startCalibration();
    size_t f = 0;
    while (!sp.calibrationFrame(s.data() + f * 64, 64)) {
        ++f;
    }
    sp.seize();
    sp.setFilterMode(CLineStateFilter::kDialled);
    std::vector<uint32_t> out;
    for (++f; (f + 1) * 64 <= s.size(); ++f) {
        uint32_t state = 0;
        if (sp.activeFrame(s.data() + f * 64, 64, state)) {
            out.push_back(state);
        }
    }
    return out;
}

// 'R' ring-back, 'B' busy, '-' neither.
inline char toneVerdict(const std::vector<uint32_t>& r) {
    int busyRun = 0;
    for (uint32_t v : r) {
        if (v == LS_RING_BACK_TONE || v == LS_RING_BACK_PAUSE) {
            return 'R';
        }
        busyRun = v == LS_BUSY_TONE ? busyRun + 1 : 0;
        if (busyRun >= 3) {
            return 'B';
        }
    }
    return '-';
}

}  // namespace orvel::tools
