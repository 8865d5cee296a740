// orvel-linecheck: checks lines of the boards by calling numbers through them.
//
// Starts the line engine on a program directory, assigns the chosen lines,
// calls one number on each (all at once) with the given message and
// confirmation mode, prints every change of each line's state and each
// line's notify result, then frees the lines and shuts the engine down.
// Uses only the engine's public interface.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "orvel.h"
#include "tone_wave.h"

namespace {

struct LineCall {
    uint32_t device = 0;
    uint32_t channel = 0;
    std::string number;
    int expected = -1;  // a notify result to check, or -1
};

struct Options {
    std::string directory;
    std::string message;
    std::string confirm;
    std::string log;
    int mode = 3;
    bool tone = false;
    bool confirmOn = true;
    bool advanced = false;
    uint32_t dumpMask = 0;
    int timeoutS = 180;
    std::vector<LineCall> calls;
};

const char* const kResultNames[] = {"NR_NOT_NOTIFY", "NR_NOTIFY_OK", "NR_LINE_BUSY",
                                    "NR_NOT_HANDUP", "NR_LINE_DROP"};

const char* resultName(uint32_t r) {
    return r < 5 ? kResultNames[r] : "NR_UNKNOWN";
}

int resultByName(const std::string& name) {
    for (int i = 0; i < 5; ++i) {
        if (name == kResultNames[i] || name == kResultNames[i] + 3) {
            return i;
        }
    }
    return -1;
}

// The line state codes of the line states, as an installer reads them.
const char* lineStateText(uint32_t code) {
    switch (code) {
        case 0:
            return "not in use";
        case 1:
            return "free";
        case 2:
            return "seizing";
        case 3:
            return "waiting for dial tone";
        case 4:
            return "releasing";
        case 7:
            return "dialling";
        case 8:
            return "ringing";
        case 11:
            return "playing message";
        case 12:
            return "playing confirmation prompt";
        case 13:
            return "waiting for confirmation";
        case 17:
            return "listening for hang-up";
        default:
            return "other";
    }
}

void usage(const char* program) {
    std::fprintf(
        stderr,
        "usage: %s <program directory> [options] D:C=NUMBER[=RESULT] ...\n"
        "  D:C=NUMBER      call NUMBER on channel C of board D (w: wait for dial tone)\n"
        "  =RESULT         expect this notify result (NOTIFY_OK, LINE_BUSY, NOT_HANDUP,\n"
        "                  LINE_DROP, NOT_NOTIFY); the exit code tells whether all met it\n"
        "  --message FILE  main message (WAVE, 16-bit mono 16000 Hz), number 1;\n"
        "                  without it a 2-s test tone is played\n"
        "  --confirm FILE  confirmation prompt, number 2 (default a 1-s test tone)\n"
        "  --mode N        confirmation: 1 key 9, 2 hang-up, 3 either (default 3)\n"
        "  --tone          tone dialling (default pulse)\n"
        "  --no-confirm    play the message only, ask for no confirmation\n"
        "  --early-key     accept the key already while the prompt plays\n"
        "  --dump-mask M   signal dumps of each call (see the manual), e.g. 0x7f\n"
        "  --log FILE      the engine's log\n"
        "  --timeout S     give up waiting for results after S seconds (default 180)\n",
        program);
}

bool parseCall(const char* text, LineCall& call) {
    const std::string s = text;
    const auto colon = s.find(':');
    const auto eq = s.find('=');
    if (colon == std::string::npos || eq == std::string::npos || colon > eq) {
        return false;
    }
    char* end = nullptr;
    const unsigned long d = std::strtoul(s.c_str(), &end, 10);
    if (end != s.c_str() + colon) {
        return false;
    }
    const unsigned long c = std::strtoul(s.c_str() + colon + 1, &end, 10);
    if (end != s.c_str() + eq || d > 1000 || c > 1000) {
        return false;
    }
    call.device = static_cast<uint32_t>(d);
    call.channel = static_cast<uint32_t>(c);
    const auto eq2 = s.find('=', eq + 1);
    call.number = s.substr(eq + 1, eq2 == std::string::npos ? std::string::npos : eq2 - eq - 1);
    if (eq2 != std::string::npos) {
        call.expected = resultByName(s.substr(eq2 + 1));
        if (call.expected < 0) {
            return false;
        }
    }
    return !call.number.empty();
}

bool parseOptions(int argc, char** argv, Options& o) {
    if (argc < 3) {
        return false;
    }
    o.directory = argv[1];
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) {
                return false;
            }
            out = argv[++i];
            return true;
        };
        std::string v;
        if (a == "--message") {
            if (!value(o.message))
                return false;
        } else if (a == "--confirm") {
            if (!value(o.confirm))
                return false;
        } else if (a == "--log") {
            if (!value(o.log))
                return false;
        } else if (a == "--mode") {
            if (!value(v))
                return false;
            o.mode = std::atoi(v.c_str());
        } else if (a == "--timeout") {
            if (!value(v))
                return false;
            o.timeoutS = std::atoi(v.c_str());
            if (o.timeoutS <= 0)
                return false;
        } else if (a == "--dump-mask") {
            if (!value(v))
                return false;
            o.dumpMask = static_cast<uint32_t>(std::strtoul(v.c_str(), nullptr, 0));
        } else if (a == "--tone") {
            o.tone = true;
        } else if (a == "--no-confirm") {
            o.confirmOn = false;
        } else if (a == "--early-key") {
            o.advanced = true;
        } else {
            LineCall call;
            if (!parseCall(argv[i], call)) {
                std::fprintf(stderr, "not a line and number: %s\n", argv[i]);
                return false;
            }
            o.calls.push_back(call);
        }
    }
    return !o.calls.empty();
}

// Results arrive on the engine's logic thread.
std::mutex g_mutex;
std::condition_variable g_changed;
std::map<std::pair<uint32_t, uint32_t>, uint32_t> g_results;

void onResult(uint32_t device, uint32_t channel, uint32_t result) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_results[{device, channel}] = result;
    g_changed.notify_all();
}

// The notify result behind a result code of the line states.
uint32_t resultOfCode(uint32_t code) {
    switch (code) {
        case 14:
            return ORVEL_NR_NOTIFY_OK;
        case 9:
            return ORVEL_NR_LINE_BUSY;
        case 16:
            return ORVEL_NR_NOT_HANDUP;
        case 6:
            return ORVEL_NR_LINE_DROP;
        default:
            return ORVEL_NR_NOT_NOTIFY;
    }
}

// A plain tone as a message file (16-bit mono 16000 Hz), for checks without
// a recorded message.
std::string writeTestTone(const char* name, double seconds, double hz) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("orvel-linecheck-" + std::to_string(::getpid()) + "-" + name);
    return orvel::tools::writeToneWave(path.string(), seconds, hz) ? path.string() : std::string();
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The state code of a line, or -1 where the line states do not report it
// (a channel no board can have).
int lineState(const uint32_t* states, const LineCall& c) {
    if (c.device >= ORVEL_MAX_DEVICES || c.channel >= ORVEL_CHANNELS_PER_DEVICE) {
        return -1;
    }
    return static_cast<int>(states[ORVEL_LINE_SLOT(c.device, c.channel)]);
}

// The result code of the line's last call (0 where it is not reported).
uint32_t lastResult(const uint32_t* states, const LineCall& c) {
    if (c.device >= ORVEL_MAX_DEVICES || c.channel >= ORVEL_CHANNELS_PER_DEVICE) {
        return 0;
    }
    return states[ORVEL_LINE_SLOT(c.device, c.channel) + 1];
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!parseOptions(argc, argv, o)) {
        usage(argv[0]);
        return 2;
    }
    if (!o.log.empty() && logEnable(o.log.c_str(), 1) != 0) {
        std::fprintf(stderr, "cannot open the log %s\n", o.log.c_str());
    }
    setDumpMask(o.dumpMask);
    if (InitDll(o.directory.c_str()) != 0) {
        std::fprintf(stderr, "the engine cannot start on %s\n", o.directory.c_str());
        return 1;
    }
    std::vector<uint32_t> program(ORVEL_PROGRAM_STATE_WORDS, 0);
    GetProgrammState(program.data());
    if (program[1] != ORVEL_STATE_INITIALISED) {
        std::fprintf(stderr, "no working board found (state %u)\n", program[1]);
        ShutdownDll();
        return 1;
    }
    StartDll();
    int status = 0;
    std::vector<std::string> madeFiles;
    if (o.message.empty()) {
        o.message = writeTestTone("message.wav", 2.0, 800);
        madeFiles.push_back(o.message);
    }
    if (o.confirm.empty()) {
        o.confirm = writeTestTone("confirm.wav", 1.0, 1000);
        madeFiles.push_back(o.confirm);
    }
    if (LoadSoundFile(o.message.c_str(), 1) != 0) {
        std::fprintf(stderr, "message %s cannot be loaded\n", o.message.c_str());
        status = 1;
    }
    if (LoadConfirmFile(o.confirm.c_str(), 2) != 0) {
        std::fprintf(stderr, "prompt %s cannot be loaded\n", o.confirm.c_str());
        status = 1;
    }
    SetConfirmOn(o.confirmOn ? 1 : 0);
    AdvancedDtmfConfirmOn(o.advanced ? 1 : 0);
    setNotifyResultCallback(&onResult);

    const auto start = std::chrono::steady_clock::now();
    std::vector<LineCall> calls;
    for (const LineCall& c : o.calls) {
        if (AssignLine(c.device, c.channel) != 0) {
            std::printf("%6.1f  line %u:%u  cannot be assigned\n", 0.0, c.device, c.channel);
            status = 1;
            continue;
        }
        calls.push_back(c);
    }

    // The full report: every channel of every board (the short array of
    // GetLineState has only 3 boards of 12).
    std::vector<uint32_t> states(ORVEL_LINE_STATES_MAX_WORDS, 0);
    std::vector<int> last(calls.size(), -2);
    std::vector<bool> called(calls.size(), false);
    std::vector<bool> busy(calls.size(), false);
    const auto deadline = start + std::chrono::seconds(o.timeoutS);
    for (;;) {
        GetLineStateEx(states.data(), static_cast<uint32_t>(states.size()));
        bool allDone = true;
        for (std::size_t i = 0; i < calls.size(); ++i) {
            const LineCall& c = calls[i];
            const int s = lineState(states.data(), c);
            if (s != last[i] && s >= 0) {
                std::printf("%6.1f  line %u:%u  %2d %s\n", secondsSince(start), c.device, c.channel,
                            s, lineStateText(static_cast<uint32_t>(s)));
                last[i] = s;
            }
            // A line is called once it is reported free (or, should its
            // state not be reported, a few seconds after assignment).
            if (!called[i] && (s == 1 || (s < 0 && secondsSince(start) > 5.0))) {
                const int r = CallAbonent(c.device, c.channel, c.number.c_str(), o.tone ? 1 : 0, 1,
                                          2, o.mode);
                std::printf("%6.1f  line %u:%u  call %s: %d\n", secondsSince(start), c.device,
                            c.channel, c.number.c_str(), r);
                called[i] = true;
            }
            // A call that ends without a reported result (not notified) is
            // seen as the line coming back free after it was busy.
            if (called[i] && s > 1) {
                busy[i] = true;
            }
            std::lock_guard<std::mutex> lock(g_mutex);
            const auto key = std::make_pair(c.device, c.channel);
            if (busy[i] && s == 1 && g_results.count(key) == 0) {
                g_results[key] = resultOfCode(lastResult(states.data(), c));
            }
            allDone = allDone && g_results.count(key) != 0 && s <= 1;
        }
        if (allDone || std::chrono::steady_clock::now() >= deadline) {
            break;
        }
        std::unique_lock<std::mutex> lock(g_mutex);
        g_changed.wait_for(lock, std::chrono::milliseconds(100));
    }

    setNotifyResultCallback(nullptr);
    std::printf("results after %.1f s:\n", secondsSince(start));
    for (const LineCall& c : calls) {
        std::lock_guard<std::mutex> lock(g_mutex);
        auto it = g_results.find({c.device, c.channel});
        if (it == g_results.end()) {
            std::printf("  line %u:%u  %-12s no result\n", c.device, c.channel, c.number.c_str());
            status = 1;
            continue;
        }
        const bool met = c.expected < 0 || static_cast<uint32_t>(c.expected) == it->second;
        std::printf("  line %u:%u  %-12s %s%s\n", c.device, c.channel, c.number.c_str(),
                    resultName(it->second), met ? "" : "  (not as expected)");
        if (!met) {
            status = 1;
        }
    }
    for (const LineCall& c : calls) {
        FreeLine(c.device, c.channel);
    }
    StopDll();
    ShutdownDll();
    for (const std::string& f : madeFiles) {
        std::remove(f.c_str());
    }
    return status;
}
