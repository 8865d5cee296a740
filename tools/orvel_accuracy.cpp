// orvel-accuracy: how often the line engine books the right outcome.
//
// Draws a corpus of calls (tools/call_corpus.h), runs it through the real
// engine on simulated boards in real time (every line calls its share of
// the corpus one call after another) and prints the confusion matrix of
// expected against booked outcome. The headline is the count of false
// "notified": subscribers booked as notified who never confirmed. The exit
// code is 1 when there was any, or when a call did not end; 3 when the
// machine was too busy to keep real time and most calls went astray.
#include <soxr.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "board/driver_host.h"
#include "call_corpus.h"
#include "call_record.h"
#include "line_settings.h"
#include "orvel.h"
#include "sim_driver.h"
#include "tone_wave.h"

namespace {

namespace fs = std::filesystem;
using orvel::tools::Outcome;

struct Options {
    orvel::tools::CorpusOptions corpus;
    std::string dataDir = ORVEL_DATA_DIR;
    std::string log;
    bool guard = true;
    bool music = true;
    bool earlyBusy = true;
    std::string tonePlan;       // the engine's tone plan; empty: its default
    double sensitivityDb = -1;  // < 0: the engine's default
    bool speechMessages = true;
    bool verbose = false;
    bool list = false;
    std::vector<std::string> kinds;  // behaviours kept; empty: all
    std::vector<std::string> numbers;  // calls kept on their own lines; empty: all
    std::string dumpDir;             // the engine's signal dumps go below it
    int timeoutS = 3600;
};

void usage(const char* program) {
    std::fprintf(
        stderr,
        "usage: %s [options]\n"
        "  --calls N        calls in the corpus (default 1000)\n"
        "  --seed S         corpus seed (default 1)\n"
        "  --boards B       simulated boards of 18 lines (1..10, default 10)\n"
        "  --lines L        lines per board (1..18, default 18)\n"
        "  --plans A,B|all|default  tone plans to mix (default: the 425 Hz family)\n"
        "  --loss LO,HI     line loss range in dB (default 0,30)\n"
        "  --no-echo        no hybrid echo of the engine's own output\n"
        "  --no-guard       switch the engine's confirmation guard off\n"
        "  --no-music       switch the engine's music detector off\n"
        "  --no-early-busy  let busy after the beep confirm however early it began\n"
        "  --engine-plan P  the engine's tone plan (default, gb, us, ca, in)\n"
        "  --sensitivity DB the engine's line sensitivity (0..30 dB)\n"
        "  --tone-messages  plain tones as message and prompt instead of speech\n"
        "  --data DIR       where orvel.fis is (default the source tree's data/)\n"
        "  --log FILE       the engine's log\n"
        "  --verbose        print the story of every wrong call\n"
        "  --kinds A,B      only calls of these behaviours (see --list)\n"
        "  --numbers A,B    only these calls, each on the line it has in the whole corpus\n"
        "  --dump DIR       keep the engine's per-call signal dumps below DIR\n"
        "  --list           print the corpus and exit\n",
        program);
}

// "a,b,c" as its parts; an empty part stays, so a stray comma is caught by
// whoever checks the names.
std::vector<std::string> splitCommas(const std::string& list) {
    std::vector<std::string> parts;
    for (size_t start = 0; start <= list.size();) {
        const auto comma = list.find(',', start);
        parts.push_back(list.substr(start, comma - start));
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return parts;
}

bool parse(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
        auto number = [&](int lo, int hi, int& out) {
            if (v == nullptr) {
                return false;
            }
            char* end = nullptr;
            const long n = std::strtol(v, &end, 10);
            ++i;
            if (*end != '\0' || n < lo || n > hi) {
                return false;
            }
            out = static_cast<int>(n);
            return true;
        };
        int n = 0;
        if (a == "--calls") {
            if (!number(1, 100000, o.corpus.calls))
                return false;
        } else if (a == "--seed") {
            if (!number(0, 0x7fffffff, n))
                return false;
            o.corpus.seed = static_cast<uint32_t>(n);
        } else if (a == "--boards") {
            if (!number(1, 10, o.corpus.boards))
                return false;
        } else if (a == "--lines") {
            if (!number(1, 18, o.corpus.linesPerBoard))
                return false;
        } else if (a == "--plans") {
            if (v == nullptr)
                return false;
            ++i;
            const std::string list = v;
            o.corpus.plans.clear();
            if (list == "all") {
                for (const auto& p : orvel::sim::tonePlans()) {
                    o.corpus.plans.push_back(p.code);
                }
            } else if (list == "default") {
                o.corpus.plans = orvel::tools::defaultFamilyPlans();
            } else {
                for (const std::string& code : splitCommas(list)) {
                    if (orvel::sim::findTonePlan(code) == nullptr) {
                        std::fprintf(stderr, "unknown tone plan %s\n", code.c_str());
                        return false;
                    }
                    o.corpus.plans.push_back(code);
                }
            }
        } else if (a == "--loss") {
            if (v == nullptr ||
                std::sscanf(v, "%lf,%lf", &o.corpus.minLossDb, &o.corpus.maxLossDb) != 2 ||
                o.corpus.minLossDb < -5 || o.corpus.maxLossDb > 60 ||
                o.corpus.minLossDb > o.corpus.maxLossDb)
                return false;
            ++i;
        } else if (a == "--no-echo") {
            o.corpus.echo = false;
        } else if (a == "--sensitivity") {
            if (!number(0, 30, n))
                return false;
            o.sensitivityDb = n;
        } else if (a == "--engine-plan") {
            if (v == nullptr)
                return false;
            o.tonePlan = v;
            ++i;
        } else if (a == "--no-guard") {
            o.guard = false;
        } else if (a == "--no-music") {
            o.music = false;
        } else if (a == "--no-early-busy") {
            o.earlyBusy = false;
        } else if (a == "--tone-messages") {
            o.speechMessages = false;
        } else if (a == "--data") {
            if (v == nullptr)
                return false;
            o.dataDir = v;
            ++i;
        } else if (a == "--log") {
            if (v == nullptr)
                return false;
            o.log = v;
            ++i;
        } else if (a == "--kinds") {
            if (v == nullptr)
                return false;
            ++i;
            o.kinds = splitCommas(v);
        } else if (a == "--numbers") {
            if (v == nullptr)
                return false;
            ++i;
            o.numbers = splitCommas(v);
        } else if (a == "--dump") {
            if (v == nullptr)
                return false;
            o.dumpDir = v;
            ++i;
        } else if (a == "--verbose") {
            o.verbose = true;
        } else if (a == "--list") {
            o.list = true;
        } else {
            return false;
        }
    }
    if (o.corpus.plans.empty()) {
        o.corpus.plans = orvel::tools::defaultFamilyPlans();
    }
    return true;
}

// A spoken message file (16-bit mono 16000 Hz) from the simulator's speech.
bool writeSpeechWave(orvel::sim::SpeechBank& bank, const std::string& path,
                     const std::string& text) {
    bool spoken = false;
    const auto speech = bank.get("ru", text, &spoken);
    if (!spoken) {
        return false;
    }
    std::vector<int16_t> wide(speech->size() * 2 + 64);
    size_t done = 0;
    const soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_INT16_I);
    if (soxr_oneshot(8000, 16000, 1, speech->data(), speech->size(), nullptr, wide.data(),
                     wide.size(), &done, &io, nullptr, nullptr) != nullptr) {
        return false;
    }
    std::ofstream f(path, std::ios::binary);
    auto u32 = [&](uint32_t x) { f.write(reinterpret_cast<const char*>(&x), 4); };
    auto u16 = [&](uint16_t x) { f.write(reinterpret_cast<const char*>(&x), 2); };
    f.write("RIFF", 4);
    u32(static_cast<uint32_t>(36 + done * 2));
    f.write("WAVEfmt ", 8);
    u32(16);
    u16(1);
    u16(1);
    u32(16000);
    u32(32000);
    u16(2);
    u16(16);
    f.write("data", 4);
    u32(static_cast<uint32_t>(done * 2));
    f.write(reinterpret_cast<const char*>(wide.data()), static_cast<std::streamsize>(done * 2));
    return static_cast<bool>(f);
}

constexpr int kMisrouted = -3;
constexpr int kNotRun = -4;  // left out by --numbers

// The detector hears every key of 54 ms and longer (orvel-dtmf-measure:
// "shortest tone always heard"); a shorter one only in some alignments with
// its 30-ms blocks. A receiver is bound to hear keys of 40 ms and longer, so
// keys below the detector's minimum are scored either way and counted apart.
constexpr int kShortestKeyHeardMs = 54;

// A confirmation by a key shorter than that, booked notified or not
// notified: right either way.
bool shortKeyEitherWay(const orvel::tools::CorpusCall& c, Outcome got) {
    return c.expected == Outcome::Notified && c.subscriber.key != 0 &&
           c.subscriber.keyMs < kShortestKeyHeardMs &&
           (got == Outcome::Notified || got == Outcome::NotNotified);
}

// A person who hangs up before the engine's beep is over, on a line that is
// silent until the beep and then plays busy, is heard exactly like a listener
// who hangs up after the beep: busy in the confirmation window. In modes 2
// and 3 that busy confirms, so such calls are scored either way and counted
// apart; in mode 1 only a key confirms, and busy must never be taken for one.
// Machines and faxes are not set apart: their tones tell them from a person.
bool cannotTellFromAConfirmation(const orvel::tools::CorpusCall& call,
                                 const orvel::tools::CallTimes& times) {
    return call.mode != 1 && call.subscriber.behaviour == orvel::sim::Behaviour::Answer &&
           call.expected == Outcome::NotNotified && orvel::tools::hangUpTheLineCannotTell(times);
}

std::mutex g_mutex;
std::map<std::pair<uint32_t, uint32_t>, int> g_results;

void onResult(uint32_t device, uint32_t channel, uint32_t result) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_results.emplace(std::make_pair(device, channel), static_cast<int>(result));
}

// One line working through its share of the corpus.
struct LineRun {
    uint32_t device = 0;
    uint32_t channel = 0;
    std::vector<size_t> calls;  // corpus indexes, in order
    size_t next = 0;
    enum class Phase { Idle, Starting, InCall, Done } phase = Phase::Idle;
    int seizuresBefore = 0;
    unsigned polls = 0;
    std::chrono::steady_clock::time_point onHookSince{};
};

std::string story(const orvel::sim::LineRecord& r) {
    std::string out;
    for (const auto& e : r.events) {
        char head[32];
        std::snprintf(head, sizeof head, "    %8.2f  ", e.seconds);
        out += head + e.text + "\n";
    }
    out += "    sounds the board played:";
    for (const auto& s : r.sounds) {
        char span[40];
        std::snprintf(span, sizeof span, " %.2f..%.2f", s.from, s.to);
        out += span;
    }
    return out + "\n";
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!parse(argc, argv, o)) {
        usage(argv[0]);
        return 2;
    }
    orvel::tools::Corpus corpus = orvel::tools::makeCorpus(o.corpus);
    if (!o.kinds.empty()) {
        std::erase_if(corpus.calls, [&](const orvel::tools::CorpusCall& c) {
            return std::find(o.kinds.begin(), o.kinds.end(), c.kind) == o.kinds.end();
        });
        if (corpus.calls.empty()) {
            std::fprintf(stderr, "no call of these behaviours in the corpus\n");
            return 2;
        }
    }
    if (o.list) {
        for (const auto& c : corpus.calls) {
            std::printf("%s  mode %d  %-16s  expect %s\n", c.number.c_str(), c.mode, c.kind.c_str(),
                        orvel::tools::outcomeName(c.expected));
        }
        return 0;
    }
    const fs::path dir = o.dumpDir.empty() ? fs::temp_directory_path() /
                                                 ("orvel-accuracy-" + std::to_string(::getpid()))
                                           : fs::path(o.dumpDir);
    fs::create_directories(dir);
    std::error_code ec;
    for (const orvel::TonePlanEntry& plan : orvel::kTonePlans) {
        fs::copy_file(fs::path(o.dataDir) / plan.ruleBase, dir / plan.ruleBase,
                      fs::copy_options::overwrite_existing, ec);
        if (ec) {
            break;
        }
    }
    if (ec) {
        std::fprintf(stderr, "cannot copy the rule bases from %s\n", o.dataDir.c_str());
        return 2;
    }
    {
        std::ofstream settings(dir / "orvelline.ini");
        settings << "[Line]\nConfirmGuard=" << (o.guard ? 1 : 0) << "\nSitDetect=1\n"
                 << "MusicDetect=" << (o.music ? 1 : 0) << "\n"
                 << "EarlyBusyDetect=" << (o.earlyBusy ? 1 : 0) << "\n";
        if (!o.tonePlan.empty()) {
            settings << "TonePlan=" << o.tonePlan << "\n";
        }
        if (o.sensitivityDb >= 0) {
            settings << "Sensitivity=" << o.sensitivityDb << "\n";
        }
    }
    auto sim = std::make_shared<orvel::sim::SimDriver>(orvel::tools::simConfigFor(corpus, o.corpus),
                                                       orvel::sim::SimDriver::Clock::RealTime);
    // Every text is spoken once before the clock matters.
    for (const auto& c : corpus.calls) {
        const auto& s = c.subscriber;
        if (!s.speech.empty()) {
            sim->speech().get(s.voice, s.speech);
        }
        if (!s.announcement.empty()) {
            sim->speech().get("ru", s.announcement);
        }
    }
    const std::string message = (dir / "message.wav").string();
    const std::string prompt = (dir / "confirm.wav").string();
    bool spoken = o.speechMessages &&
                  writeSpeechWave(sim->speech(), message,
                                  "Внимание! Это проверка системы оповещения. Просим вас "
                                  "прибыть на рабочее место к восьми часам.") &&
                  writeSpeechWave(sim->speech(), prompt, "Для подтверждения нажмите девять.");
    if (!spoken) {
        orvel::tools::writeToneWave(message, 4.0, 800);
        orvel::tools::writeToneWave(prompt, 1.5, 1000);
    }
    orvel::driver::DriverHost::setOverride(sim);
    if (!o.log.empty()) {
        logEnable(o.log.c_str(), 1);
    }
    if (!o.dumpDir.empty()) {
        setDumpMask(0x03);  // the state and the samples of every call
    }
    if (InitDll(dir.c_str()) != 0 || LoadSoundFile(message.c_str(), 1) != 0 ||
        LoadConfirmFile(prompt.c_str(), 2) != 0 || StartDll() != 0) {
        std::fprintf(stderr, "the engine does not start on the simulated boards\n");
        ShutdownDll();
        return 2;
    }
    SetConfirmOn(1);
    setNotifyResultCallback(&onResult);

    std::vector<LineRun> lines;
    const CallTimeParams params{10, 1, 25, 3, 25, 0, 3, 0};
    for (int b = 0; b < o.corpus.boards; ++b) {
        for (int ch = 0; ch < o.corpus.linesPerBoard; ++ch) {
            LineRun l;
            l.device = static_cast<uint32_t>(b);
            l.channel = static_cast<uint32_t>(ch);
            SetTimeParam(l.device, l.channel, &params);
            if (AssignLine(l.device, l.channel) != 0) {
                std::fprintf(stderr, "line %d:%d cannot be assigned\n", b, ch);
                continue;
            }
            lines.push_back(l);
        }
    }
    for (size_t i = 0; i < corpus.calls.size(); ++i) {
        lines[i % lines.size()].calls.push_back(i);
    }
    if (!o.numbers.empty()) {
        for (LineRun& l : lines) {
            std::erase_if(l.calls, [&](size_t i) {
                return std::find(o.numbers.begin(), o.numbers.end(), corpus.calls[i].number) ==
                       o.numbers.end();
            });
        }
    }
    std::printf(
        "corpus: %zu calls, seed %u, %zu lines, plans %zu, loss %.0f..%.0f dB, echo %s, "
        "guard %s, music detector %s, %s messages\n",
        corpus.calls.size(), o.corpus.seed, lines.size(), o.corpus.plans.size(), o.corpus.minLossDb,
        o.corpus.maxLossDb, o.corpus.echo ? "on" : "off", o.guard ? "on" : "off",
        o.music ? "on" : "off", spoken ? "spoken" : "tone");
    std::fflush(stdout);

    std::vector<int> booked(corpus.calls.size(), kNotRun);
    std::vector<char> cannotTell(corpus.calls.size(), 0);
    size_t toRun = 0;
    for (const LineRun& l : lines) {
        toRun += l.calls.size();
        for (size_t i : l.calls) {
            booked[i] = -2;  // not ended
        }
    }
    const auto start = std::chrono::steady_clock::now();
    const auto deadline = start + std::chrono::seconds(o.timeoutS);
    size_t ended = 0;
    size_t reportedAt = 0;
    while (ended < toRun && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const auto now = std::chrono::steady_clock::now();
        for (LineRun& l : lines) {
            auto* card = sim->card(static_cast<int>(l.device));
            const int ch = static_cast<int>(l.channel);
            if (l.phase == LineRun::Phase::Idle) {
                if (l.next >= l.calls.size()) {
                    l.phase = LineRun::Phase::Done;
                    continue;
                }
                {
                    std::lock_guard<std::mutex> lock(g_mutex);
                    g_results.erase({l.device, l.channel});
                }
                l.seizuresBefore = card->record(ch).seizures;
                l.phase = LineRun::Phase::Starting;
            }
            if (l.phase == LineRun::Phase::Starting) {
                // The engine takes a call only on a ready line; until the
                // line is seized the call is given again.
                if (card->record(ch).seizures > l.seizuresBefore) {
                    l.phase = LineRun::Phase::InCall;
                    l.onHookSince = {};
                } else if ((++l.polls & 3) == 1) {
                    const auto& call = corpus.calls[l.calls[l.next]];
                    CallAbonent(l.device, l.channel, call.number.c_str(), 1, 1, 2, call.mode);
                }
                continue;
            }
            if (l.phase != LineRun::Phase::InCall) {
                continue;
            }
            if (card->lineOffHook(ch)) {
                l.onHookSince = {};
                continue;
            }
            if (l.onHookSince == std::chrono::steady_clock::time_point{}) {
                l.onHookSince = now;
                continue;
            }
            // On hook for a while: the call is over (results come before the
            // hang-down, so one is there by now if the engine reported it).
            if (now - l.onHookSince < std::chrono::milliseconds(500)) {
                continue;
            }
            const size_t index = l.calls[l.next];
            {
                std::lock_guard<std::mutex> lock(g_mutex);
                auto it = g_results.find({l.device, l.channel});
                booked[index] = it == g_results.end() ? -1 : it->second;
            }
            const auto& call = corpus.calls[index];
            const auto record = card->record(ch);
            const orvel::tools::CallTimes times = orvel::tools::callTimes(record);
            cannotTell[index] = cannotTellFromAConfirmation(call, times) ? 1 : 0;
            if (o.verbose && cannotTell[index] != 0) {
                std::printf(
                    "CANNOT TELL %s (%s, mode %d): hung up at %.2f s, beep %.2f..%.2f s, busy from "
                    "%.2f s; booked %s\n",
                    call.number.c_str(), call.kind.c_str(), call.mode, times.hungUp, times.beepFrom,
                    times.beepTo, times.busyFrom,
                    orvel::tools::outcomeName(orvel::tools::outcomeOfResult(booked[index])));
            }
            if (record.number != call.number) {
                // The exchange took other digits than the engine meant to
                // dial (a machine too busy to keep real time garbles the
                // tones): the call says nothing about outcomes.
                booked[index] = kMisrouted;
                if (o.verbose) {
                    std::printf("MISROUTED %s reached '%s'\n", call.number.c_str(),
                                record.number.c_str());
                }
            } else if (o.verbose && cannotTell[index] == 0 &&
                       orvel::tools::outcomeOfResult(booked[index]) != call.expected &&
                       !shortKeyEitherWay(call, orvel::tools::outcomeOfResult(booked[index]))) {
                const auto& line =
                    corpus
                        .lines[l.device * static_cast<size_t>(o.corpus.linesPerBoard) + l.channel];
                const auto& sub = call.subscriber;
                std::printf(
                    "WRONG %s (%s, mode %d) on %u:%u (plan %s, loss %.0f dB, echo %d at "
                    "%.0f dB, key %d ms %.0f dBm0 twist %.0f dB): expected %s, booked %s\n%s",
                    call.number.c_str(), call.kind.c_str(), call.mode, l.device, l.channel,
                    line.tonePlan.c_str(), line.lossDb, line.echoModel, line.echoDb,
                    sub.key != 0 ? sub.keyMs : 0, sub.keyDbm0, sub.keyTwistDb,
                    orvel::tools::outcomeName(call.expected),
                    orvel::tools::outcomeName(orvel::tools::outcomeOfResult(booked[index])),
                    story(record).c_str());
            }
            card->clearRecord(ch);
            ++l.next;
            ++ended;
            l.phase = LineRun::Phase::Idle;
        }
        if (ended >= reportedAt + 50 || ended == toRun) {
            reportedAt = ended;
            std::fprintf(stderr, "%zu of %zu calls ended, %.0f s\n", ended, toRun,
                         std::chrono::duration<double>(now - start).count());
        }
    }
    setNotifyResultCallback(nullptr);
    for (const LineRun& l : lines) {
        FreeLine(l.device, l.channel);
    }
    StopDll();
    ShutdownDll();
    orvel::driver::DriverHost::setOverride(nullptr);
    sim.reset();
    if (o.dumpDir.empty()) {
        fs::remove_all(dir, ec);
    }

    // The matrix: rows expected, columns booked.
    int matrix[orvel::tools::kOutcomes][orvel::tools::kOutcomes] = {};
    int falseNotified = 0;
    int confirmers = 0;
    int missed = 0;
    int wrong = 0;
    int unended = 0;
    int misrouted = 0;
    int shortKeys = 0;
    int shortKeysHeard = 0;
    int unheardHangUps = 0;
    int unheardHangUpsNotified = 0;
    std::map<std::string, std::pair<int, int>> byKind;  // kind: calls, wrong
    for (size_t i = 0; i < corpus.calls.size(); ++i) {
        const auto& c = corpus.calls[i];
        if (booked[i] == kNotRun) {
            continue;
        }
        if (booked[i] == -2) {
            ++unended;
            continue;
        }
        if (booked[i] == kMisrouted) {
            ++misrouted;
            continue;
        }
        const Outcome got = orvel::tools::outcomeOfResult(booked[i]);
        if (shortKeyEitherWay(c, got)) {
            // Right either way: out of the matrix, into the total as right.
            ++byKind[c.kind].first;
            ++shortKeys;
            shortKeysHeard += got == Outcome::Notified ? 1 : 0;
            continue;
        }
        if (cannotTell[i] != 0 && (got == Outcome::Notified || got == Outcome::NotNotified)) {
            ++byKind[c.kind].first;
            ++unheardHangUps;
            unheardHangUpsNotified += got == Outcome::Notified ? 1 : 0;
            continue;
        }
        ++matrix[static_cast<int>(c.expected)][static_cast<int>(got)];
        auto& k = byKind[c.kind];
        ++k.first;
        if (got != c.expected) {
            ++wrong;
            ++k.second;
        }
        if (got == Outcome::Notified && c.expected != Outcome::Notified) {
            ++falseNotified;
        }
        if (c.expected == Outcome::Notified) {
            ++confirmers;
            missed += got != Outcome::Notified ? 1 : 0;
        }
    }
    const int total = static_cast<int>(toRun) - unended - misrouted;
    std::printf("\nFALSE NOTIFIED: %d of %d calls\n", falseNotified, total);
    std::printf("missed confirmations: %d of %d (%.1f %%)\n", missed, confirmers,
                confirmers > 0 ? 100.0 * missed / confirmers : 0.0);
    std::printf("correct outcomes: %d of %d (%.2f %%)\n", total - wrong, total,
                total > 0 ? 100.0 * (total - wrong) / total : 0.0);
    if (shortKeys > 0) {
        std::printf(
            "keys shorter than %d ms (the detector's guaranteed minimum; a receiver must hear "
            "40 ms): %d, %d of them heard; right either way, not in the matrix\n",
            kShortestKeyHeardMs, shortKeys, shortKeysHeard);
    }
    {
        std::printf(
            "hang-ups the line cannot tell from a confirmation: %d, %d of them booked notified; "
            "right either way, not in the matrix\n"
            "  (the person hung up before the engine's beep ended and the exchange played busy "
            "only after it: that busy comes in the confirmation window like that of a listener "
            "who hangs up after the beep; with confirmation by key only there is no such "
            "case)\n",
            unheardHangUps, unheardHangUpsNotified);
    }
    if (unended > 0) {
        std::printf("calls that did not end: %d\n", unended);
    }
    if (misrouted > 0) {
        std::printf("calls the exchange took to another number (left out): %d\n", misrouted);
    }
    std::printf("\n%-14s", "expected\\booked");
    for (int b = 0; b < orvel::tools::kOutcomes; ++b) {
        std::printf(" %12s", orvel::tools::outcomeName(static_cast<Outcome>(b)));
    }
    std::printf("\n");
    for (int e = 0; e < orvel::tools::kOutcomes; ++e) {
        std::printf("%-15s", orvel::tools::outcomeName(static_cast<Outcome>(e)));
        for (int b = 0; b < orvel::tools::kOutcomes; ++b) {
            std::printf(" %12d", matrix[e][b]);
        }
        std::printf("\n");
    }
    std::printf("\nby behaviour (calls, wrong):\n");
    for (const auto& [kind, counts] : byKind) {
        std::printf("  %-18s %5d %5d\n", kind.c_str(), counts.first, counts.second);
    }
    // A false "notified" fails the run whatever else happened.
    if (falseNotified > 0 || unended > 0) {
        return 1;
    }
    // Most calls garbled means the machine could not keep real time: no
    // verdict on the rest.
    if (misrouted * 4 > static_cast<int>(corpus.calls.size())) {
        std::printf("too many calls misrouted: the run says nothing\n");
        return 3;
    }
    return 0;
}
