// National call-progress tone plans as data: each plan gives the dial tone,
// ring-back, busy and congestion cadences of one country's exchanges, from
// public tone tables. A cadence is written as text, "FREQS:TIMES":
//   FREQS  one frequency or two joined by '+' (Hz);
//   TIMES  "c" for a continuous tone, or seconds alternating on and off
//          ("0.4,0.2,0.4,2.0": on, off, on, off, then again).
// Examples: "425:c", "425:1.0,4.0", "400+450:0.4,0.2,0.4,2.0".
#pragma once

#include <string>
#include <vector>

#include "tones.h"

namespace orvel::sim {

struct TonePlan {
    std::string code;  // short name used in orvelsim.ini ("ru", "de", "gb" ...)
    std::string country;
    Cadence dialTone;
    Cadence ringBack;
    Cadence busy;
    Cadence congestion;
};

// Parses a cadence written as above into `out` (named `name`). False with a
// reason in `error` for a bad frequency (20..4000 Hz) or time (0.02..20 s).
bool parseCadence(const std::string& text, const char* name, Cadence& out, std::string& error);

// The shipped table, built once; the first plan ("ru") is the exchanges'
// default.
const std::vector<TonePlan>& tonePlans();
// The plan with `code` (case-insensitive), or null.
const TonePlan* findTonePlan(const std::string& code);
const TonePlan& defaultTonePlan();

}  // namespace orvel::sim
