// The line engine's own settings: "orvelline.ini" in the program directory,
// section [Line]. Every key may be missing; a value that is not valid is
// logged and its default kept.
//
//   ConfirmGuard=1   a key counts only when its tones are loud enough, their
//                    levels close enough and little else sounds (0: any pair
//                    that dominates its groups, as the bare detector does)
//   Sensitivity=20   dB by which quieter tones and voices than the fixed
//                    presence threshold are still heard (0..30)
//   SitDetect=1      the exchange's information tones (950, 1400, 1800 Hz)
//                    end a call as unobtainable, which is not called again
//                    (0: such a call ends as the busy tone that follows them
//                    and is retried)
//   MusicDetect=1    music that the network plays instead of ring-back is
//                    no answer (0: every voice report answers as it does
//                    without the music detector)
//   EarlyBusyDetect=1 busy heard after the beep whose tone was on the line
//                    before the beep is a hang-up before the beep: no
//                    confirmation (0: every busy after the beep confirms)
//   TonePlan=default the exchanges' tone plan, which brings the rule base
//                    that tells busy from ring-back and the band its tones
//                    lie in: "default" (425 Hz and the other single-frequency
//                    plans, orvel.fis, 350..500 Hz), "gb" (double ring-back
//                    of Great Britain, Australia, New Zealand, orvel_gb.fis),
//                    "us" or "ca" (North America: 440+480 Hz ring-back,
//                    480+620 Hz busy, orvel_us.fis, 350..650 Hz, no 500 Hz
//                    caller-number request), "in" (India: 400+425 Hz beating
//                    double ring-back, 0.75 s busy, orvel_in.fis). The file
//                    lies beside orvel.fis.
#pragma once

#include <string>

namespace orvel {

inline constexpr const char* kLineSettingsFile = "orvelline.ini";

struct TonePlanEntry {
    const char* code;
    const char* ruleBase;  // file name in the program directory
    int bandLowHz = 350;   // where the plan's ring-back and busy tones lie
    int bandHighHz = 500;
    unsigned levelHoldFrames = 1;  // frames a level is held: one beat of a dual tone
    bool aonTest = true;           // false where the plan's tones sit at 480 Hz
};
// The plans the engine knows; the first is the default.
inline constexpr TonePlanEntry kTonePlans[] = {
    {"default", "orvel.fis", 350, 500, 3, true},
    {"gb", "orvel_gb.fis", 350, 500, 3, true},
    {"us", "orvel_us.fis", 350, 650, 1, false},
    {"ca", "orvel_us.fis", 350, 650, 1, false},
    {"in", "orvel_in.fis", 350, 500, 5, true},
};

// The plan of that code (any case), or nullptr.
const TonePlanEntry* findTonePlanEntry(const char* code);

struct LineSettings {
    bool confirmGuard = true;
    double sensitivityDb = 20.0;
    bool sitDetect = true;
    bool musicDetect = true;
    bool earlyBusyDetect = true;
    const TonePlanEntry* tonePlan = &kTonePlans[0];
};

// Reads the file at `path`; an empty path (no such file) gives the defaults.
LineSettings readLineSettings(const std::string& path);

}  // namespace orvel
