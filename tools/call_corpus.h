// Call corpora for measuring how well the engine tells call outcomes apart:
// numbers whose subscribers behave as drawn from a seeded distribution (people
// who confirm by key or by hanging up, listeners, talkers, busy lines,
// unanswered calls, answering and fax machines, unobtainable numbers ...),
// lines whose impairments are drawn as well, and for every call the outcome
// a correct engine must give.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim_config.h"

namespace orvel::tools {

// What a call must end in, in the terms of the engine's notify results.
enum class Outcome {
    NotNotified,   // no result, or NR_NOT_NOTIFY
    Notified,      // NR_NOTIFY_OK
    Busy,          // NR_LINE_BUSY
    NoAnswer,      // NR_NOT_HANDUP
    LineDrop,      // NR_LINE_DROP
    Unobtainable,  // NR_UNOBTAINABLE
    Count
};
inline constexpr int kOutcomes = static_cast<int>(Outcome::Count);

const char* outcomeName(Outcome o);
// The outcome behind a notify result code (0..5); any other code (and -1,
// a call that ended without a result) is "not notified".
Outcome outcomeOfResult(int result);

struct CorpusCall {
    std::string number;
    std::string kind;  // the behaviour drawn, as a short label
    sim::Subscriber subscriber;
    int32_t mode = 3;  // confirmation mode given to the engine
    Outcome expected = Outcome::NotNotified;
};

struct CorpusOptions {
    uint32_t seed = 1;
    int calls = 1000;
    int boards = 10;
    int linesPerBoard = 18;
    std::vector<std::string> plans;  // tone plans to mix; empty: the default plan only
    bool echo = true;
    double minLossDb = 0;   // the network's tones are sent at -5 dBm0; the loss
    double maxLossDb = 30;  // brings them to -5..-35 dBm0 at the board
};

struct Corpus {
    std::vector<CorpusCall> calls;
    std::vector<sim::LineConfig> lines;  // boards × linesPerBoard, board by board
};

Corpus makeCorpus(const CorpusOptions& options);
// The simulator's configuration that carries the corpus: boards of three
// full units, the lines as drawn, one plan entry per call.
sim::SimConfig simConfigFor(const Corpus& corpus, const CorpusOptions& options);
// Tone plans that the engine's default rule base is made for (single
// frequency in 350..500 Hz, busy and ring-back as it classifies them).
std::vector<std::string> defaultFamilyPlans();

}  // namespace orvel::tools
