// The line engine's own settings: "orvelline.ini" in the program directory,
// section [Line]. Every key may be missing; a value that is not valid is
// logged and its default kept.
//
//   ConfirmGuard=1   a key counts only when its tones are loud enough, their
//                    levels close enough and little else sounds (0: any pair
//                    that dominates its groups, as the bare detector does)
//   Sensitivity=20   dB by which quieter tones and voices than the fixed
//                    presence threshold are still heard (0..30)
//   SitDetect=0      1: the exchange's information tones end a call as
//                    unobtainable (not called again). Off by default: on the
//                    simulated exchange a busy tone was taken for them now
//                    and then, and a busy subscriber booked unobtainable is
//                    never called again.
//   MusicDetect=1    music that the network plays instead of ring-back is
//                    no answer (0: every voice report answers as it does
//                    without the music detector)
//   TonePlan=default the exchanges' tone plan, which brings the rule base
//                    that tells busy from ring-back: "default" (425 Hz and
//                    the other single-frequency plans, orvel.fis) or "gb"
//                    (double ring-back of Great Britain, Australia, New
//                    Zealand, orvel_gb.fis). The file lies beside orvel.fis.
#pragma once

#include <string>

namespace orvel {

inline constexpr const char* kLineSettingsFile = "orvelline.ini";

struct TonePlanEntry {
    const char* code;
    const char* ruleBase;  // file name in the program directory
};
// The plans the engine knows; the first is the default.
inline constexpr TonePlanEntry kTonePlans[] = {
    {"default", "orvel.fis"},
    {"gb", "orvel_gb.fis"},
};

struct LineSettings {
    bool confirmGuard = true;
    double sensitivityDb = 20.0;
    bool sitDetect = false;
    bool musicDetect = true;
    const TonePlanEntry* tonePlan = &kTonePlans[0];
};

// Reads the file at `path`; an empty path (no such file) gives the defaults.
LineSettings readLineSettings(const std::string& path);

}  // namespace orvel
