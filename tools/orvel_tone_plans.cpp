// orvel-tone-plans: how the engine's call-progress chain with one of its
// tone plans (rule base, band, level hold) hears the ring-back and busy
// tones of every tone plan the simulator ships, at a loud and a quiet level
// (see tone_plan_hearing.h for how a cadence is played and judged).
#include <cstdio>
#include <string>

#include "tone_plan_hearing.h"
#include "tone_plans.h"

using namespace orvel;

int main(int argc, char** argv) {
    // The engine's tone plan by its TonePlan code (its rule base from the
    // source tree's data/), or a rule base file with the default band.
    const std::string arg = argc > 1 ? argv[1] : "default";
    std::string fis = arg;
    ToneProfile profile;
    for (const TonePlanEntry& plan : kTonePlans) {
        if (arg == plan.code) {
            fis = std::string(ORVEL_DATA_DIR "/") + plan.ruleBase;
            profile = tools::toneProfileOf(plan);
        }
    }
    std::printf(
        "rule base %s, band %d..%d Hz, level held %u frames, caller-number test %s;\n"
        "each cell: heard as (R ring-back, B busy, - neither) over 3 starts\n",
        fis.c_str(), profile.bandLowHz, profile.bandHighHz, profile.levelHoldFrames,
        profile.aonTest ? "on" : "off");
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
                    const char v =
                        tools::toneVerdict(tools::toneReports(fis, profile, *c, dbm0, seed));
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
