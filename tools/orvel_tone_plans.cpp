// orvel-tone-plans: how the engine's call-progress chain (front end,
// detector with the rule base, line-state filter) hears the ring-back and
// busy tones of every tone plan the simulator ships. Each plan's cadences
// are generated as the simulated exchange plays them (cadence jitter,
// random start, line noise), at a loud and a quiet level, and fed frame by
// frame to the chain as after dialling; the reports are judged the way the
// call algorithm judges them: ring-back is heard when a ring-back report
// comes before three busy reports in a row, busy when three busy reports in
// a row come at all.
#include <cstdio>
#include <string>
#include <vector>

#include "analysis/signal_processing.h"
#include "codes.h"
#include "tone_plans.h"
#include "tones.h"

namespace {

using namespace orvel;

std::vector<uint32_t> reports(const std::string& fis, const sim::Cadence& c, double dbm0,
                              uint32_t seed) {
    CSignalProcessing sp;
    sp.loadFis(fis);
    sp.setSensitivityDb(20);  // the engine's default
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
char verdict(const std::vector<uint32_t>& r) {
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

}  // namespace

int main(int argc, char** argv) {
    const std::string fis = argc > 1 ? argv[1] : ORVEL_DATA_DIR "/orvel.fis";
    std::printf(
        "rule base %s; each cell: heard as (R ring-back, B busy, - neither) over 3 starts\n",
        fis.c_str());
    std::printf("%-5s %-22s  %-12s %-12s  %-12s %-12s\n", "plan", "ring-back / busy", "ring -5",
                "ring -35", "busy -5", "busy -35");
    int right = 0, cells = 0;
    for (const auto& plan : sim::tonePlans()) {
        char cadence[64];
        std::snprintf(cadence, sizeof cadence, "%.0f%s/%.0f%s", plan.ringBack.segments[0].freq1,
                      plan.ringBack.segments[0].freq2 > 0 ? "+" : "", plan.busy.segments[0].freq1,
                      plan.busy.segments[0].freq2 > 0 ? "+" : "");
        std::printf("%-5s %-22s ", plan.code.c_str(), cadence);
        for (const auto* c : {&plan.ringBack, &plan.busy}) {
            for (double dbm0 : {-5.0, -35.0}) {
                std::string cell;
                for (uint32_t seed : {1u, 2u, 3u}) {
                    const char v = verdict(reports(fis, *c, dbm0, seed));
                    cell += v;
                    right += v == (c == &plan.ringBack ? 'R' : 'B') ? 1 : 0;
                    ++cells;
                }
                std::printf(" %-12s", cell.c_str());
            }
        }
        std::printf("\n");
    }
    std::printf("right: %d of %d\n", right, cells);
    return 0;
}
