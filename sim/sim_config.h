// What the simulator is told to be: the boards, their units and lines, and the
// subscribers of the number plan, as read from the simulator's ini file.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace orvel::sim {

inline constexpr int kMaxBoards = 10;
inline constexpr int kUnitsPerBoard = 3;
inline constexpr int kLinesPerUnit = 6;
inline constexpr int kLinesPerBoard = kUnitsPerBoard * kLinesPerUnit;
inline constexpr int kSampleRate = 8000;  // input samples per second and line
inline constexpr int kMaxAdcRate = 250;   // voltage readings per second and line

// The file the simulator reads from the program directory, and the variable
// that names another one.
inline constexpr const char* kConfigFileName = "orvelsim.ini";
inline constexpr const char* kConfigEnvVar = "ORVEL_SIM_CONFIG";

// What a subscriber who answers says when the plan gives no words.
inline constexpr const char* kDefaultSpeech = "Алло. Слушаю вас.";

// How the exchange and the subscriber behave for a dialled number.
enum class Behaviour {
    Answer,        // answers after some rings and speaks
    Silent,        // answers and says nothing
    NoAnswer,      // rings until the caller gives up
    Busy,          // busy tone at once
    Unobtainable,  // information tones, then busy
    DialTone,      // a prefix: the exchange gives a new dial tone
    Drop,          // the line loses its voltage while connecting
    Machine,       // an answering machine: greeting, beep, records, hangs up
    Fax,           // a fax machine: answer tone and its modem's flags
};

// What the exchange gives the board after the subscriber has hung up.
enum class AfterHangUp {
    Busy,     // busy tone at once
    Silence,  // silence for some seconds, then busy
    Howler,   // silence for some seconds, then the loud howler tone
    Nothing,  // silence for ever
};

// What the caller hears while the subscriber's telephone rings.
enum class RingBackKind { Tone, Music, Announcement };

// A moment in a connected call: seconds after the answer, or the end of the
// n-th stretch of sound the engine plays into the line ("end1", "end2" ...).
struct Moment {
    double seconds = -1.0;  // < 0: not by time
    int afterSound = 0;     // > 0: after that many sounds ended
    bool set() const { return seconds >= 0.0 || afterSound > 0; }
};

struct Subscriber {
    std::string pattern;  // digits, * and #; 'X' any digit; a final '+' any rest
    Behaviour behaviour = Behaviour::Unobtainable;
    int rings = 2;             // ring-back periods before answering
    std::string speech;        // what the subscriber says on answering (UTF-8)
    std::string voice = "ru";  // speech synthesiser voice
    char key = 0;              // key to press, 0: none
    Moment keyAt;
    Moment hangUpAt;      // not set: stays until the caller hangs up
    int aonRequests = 0;  // 500 Hz caller-number request pulses on answering
    // The key press: tone length, level of the low tone at the telephone,
    // and how much louder the high tone is (twist, dB).
    int keyMs = 100;
    double keyDbm0 = -10.0;
    double keyTwistDb = 0.0;
    bool talks = false;  // keeps talking through the whole call
    AfterHangUp after = AfterHangUp::Busy;
    double afterSeconds = 0;  // silence before the busy or howler tone
    RingBackKind ringBack = RingBackKind::Tone;
    std::string announcement;   // unobtainable numbers and announced ring-back (UTF-8)
    int announcements = 2;      // unobtainable: times the announcement is played
    double recordSeconds = 30;  // answering machine: recording after its beep
    bool faxCalling = false;    // fax: sends the calling tone instead of answering
};

struct LineConfig {
    double idleVolts = 48.0;      // on-hook, nothing else on the line
    double offHookVolts = 8.0;    // seized by the board
    double parallelVolts = 10.0;  // a parallel phone is off hook
    bool dialTone = true;
    double cutAt = -1.0;       // seconds of simulated time; < 0: never
    double cutFor = -1.0;      // < 0: for ever
    double parallelAt = -1.0;  // a parallel phone goes off hook then
    double parallelFor = 10.0;
    bool polarityPlus = true;
    double echoDb = -100.0;  // the engine's own output heard back (hybrid echo); -100: none
    int echoModel = 0;       // 0 a flat echo, 2..9 the G.168 echo path models
    std::string tonePlan;    // code of the exchange's tone plan; empty: the default
    double lossDb = 0;       // loss of everything the network sends to the board
    bool bandLimit = false;  // the codec's 300..3400 Hz band filter
    double toneJitter = 0;   // cadence segments vary by this fraction
    bool randomStart = false;  // tones start at a random phase and point of their cadence
    double humDbm0 = -100;     // mains hum; -100: none
    double clicksPerMinute = 0;
    double clickDbm0 = -20;
    double crosstalkDbm0 = -100;  // a neighbour's conversation; -100: none
};

struct UnitConfig {
    int channels = 0;  // 0..6
    bool option = false;
    int serial = 0;      // 0..255
    int version = 0x21;  // two nibbles
    int supply5 = 128;   // raw bytes: 5 V × 25.5, 12 V × 17.75
    int supply12 = 213;
    int codecFailures = 0;        // programming attempts that never finish
    bool hung = false;            // never takes a command word
    std::array<int, 10> stuck{};  // parameter answers forced to a value (-1 none)
};

// How a card fails at its moment: it stops answering (no input, no command
// taken, its registers still read), or it vanishes from the bus (every
// operation fails and its registers read all ones).
enum class CardFailure { Silent, Vanish };

struct BoardConfig {
    bool present = false;
    double failAt = -1.0;  // seconds of simulated time; < 0: never
    CardFailure failure = CardFailure::Silent;
    bool initialised = true;
    uint32_t version = 0x101;  // 12 bits of the configuration word
    std::array<UnitConfig, kUnitsPerBoard> units{};
    std::array<LineConfig, kLinesPerBoard> lines{};  // by dense channel number
    int channelCount() const;
};

struct SimConfig {
    double speed = 1.0;  // multiple of real time for the clock thread
    int tickMs = 4;      // clock thread period
    int adcRate = 100;   // readings per second and line, 1..kMaxAdcRate
    double noiseDbm0 = -65.0;
    double toneDbm0 = -10.0;
    uint32_t seed = 1;
    double recordSeconds = 10.0;  // audio kept per line in the record (16 kHz, 32 KB a second)
    std::string logFile;          // per-line record as text, empty: none
    std::array<BoardConfig, kMaxBoards> boards{};
    std::vector<Subscriber> plan;
    Subscriber fallback;        // for numbers the plan does not hold
    double digitTimeout = 4.0;  // seconds between digits before the number is taken
};

// Reads `path`. False with a reason in `error` (file missing or unreadable,
// a bad value); every value is range-checked.
bool loadConfig(const std::string& path, SimConfig& config, std::string& error);
// Parses one plan entry ("answer rings=2 key=9 keyat=end1 say=..."). False
// with a reason for an unknown behaviour or option.
bool parseSubscriber(const std::string& text, Subscriber& out, std::string& error);
// The file to read for `programDir`: the variable's value, else the file in
// the directory (which may not exist).
std::string configPath(const std::string& programDir);

}  // namespace orvel::sim
