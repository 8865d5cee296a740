#pragma once
// Estimates a notification run before it starts (and again while it runs):
// when the last subscriber will be done, how many will be notified within
// the time limit and how busy the lines will be. A small discrete-event
// model follows the run's own rules (attempt floor, pause between attempts,
// time windows, line restrictions, time limit) with call lengths and
// outcome shares from a call model, so windows, restrictions and pauses
// interact as they do in a real run.

#include <QDateTime>
#include <QString>
#include <array>
#include <cstdint>
#include <vector>

namespace orvel {

// What a call can end in, as far as the plan is concerned.
enum class PlanOutcome : int { Confirmed, NotConfirmed, NoAnswer, Busy, Unobtainable };
inline constexpr int kPlanOutcomes = 5;

// Shares of the outcomes (summing to 1) and the mean time a call with that
// outcome keeps its line, dialling and the rest on-hook after it included.
struct TPlanCallModel {
    std::array<double, kPlanOutcomes> share{};
    std::array<double, kPlanOutcomes> seconds{};
    // Time between a line being free and its next call (the run hands calls
    // out in passes of 200 ms and reads the line states within a pass).
    double handOverSeconds = 0.3;
    // Unobtainable numbers are not called again.
    bool retryUnobtainable = false;
    // Share of repeated calls that end as the subscriber's previous call did:
    // someone away or on the telephone is mostly still so a few minutes
    // later. The rest are drawn from `share` afresh.
    double repeatShare = 0.8;
    // Where the figures came from: earlier runs' line-state logs (with how
    // many calls) or the documented defaults.
    bool fromLogs = false;
    int callsSeen = 0;
};

struct TPlanSubscriber {
    int attempts = 0;  // calls already made
    bool notified = false;
    bool windowPresent = false;
    int windowStart = 0;  // seconds of the day
    int windowEnd = 0;
    int line = -1;          // the only line allowed, -1 any
    qint64 lastEndMs = 0;   // end of the last call (ms since the epoch), for the pause
    int callLine = -1;      // in a call now: the line it is on
    qint64 busyUntilMs = 0; // and when that line is expected free
    int lastOutcome = -1;   // how the last call ended (a PlanOutcome), -1 none
};

struct TPlanInput {
    QDateTime now;       // where the estimate starts
    QDateTime runStart;  // where the time limit counts from (now, before a run)
    int timeLimitMinutes = 0;
    int maxAttempts = 5;
    double pauseMinutes = 0;
    std::vector<TPlanSubscriber> subscribers;  // the marked ones, in list order
    std::vector<bool> lineEnabled;             // every line of the program, by index
    TPlanCallModel model;
    uint32_t seed = 1;
};

struct TPlanResult {
    bool valid = false;       // false: no line to call on or nobody to call
    QDateTime finish;         // expected end of the run
    bool endsByLimit = false; // the time limit ends it before everyone is done
    bool neverEnds = false;   // without a limit some can never be called
    int total = 0;
    double notified = 0;      // expected notified at the end
    double failed = 0;        // expected to have used every attempt
    double remaining = 0;     // expected still waiting when the run ends (limit)
    double calls = 0;         // expected calls
    int uncallable = 0;       // no allowed line, or a window that never opens
    std::vector<double> lineLoad;  // share of the run's time each line is in a call
    bool fromLogs = false;
    int callsSeen = 0;
    qint64 elapsedUs = 0;     // how long the estimate took
};

// Deterministic for a given input (the seed draws the outcomes). Small lists
// are simulated several times and averaged so that shares show through.
TPlanResult PlanRun(const TPlanInput& input);

}  // namespace orvel
