// orvel-capacity: every line of ten simulated boards (180 lines) calls at
// once, in real time, and each call must reach the result planned for the
// subscriber it dials. Prints how many did, and the CPU the engine's own
// threads used, in all and per line.
//
// With --starve N, N processes keep the processor busy for the whole run (a
// busy loop each, at the same priority, ended with the run and after ten
// minutes at the latest): the engine's timing must still give every call its
// planned result on a machine with no idle time.
//
// It makes its own program directory with the simulated boards as the
// driver module (found beside the engine library) and uses only the
// engine's public interface. The simulator runs in this process; its clock
// thread is the first thread started by InitDll and is not counted.
#include <dirent.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
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

#include "orvel.h"
#include "tone_wave.h"

namespace {

namespace fs = std::filesystem;

constexpr uint32_t kBoards = 10;
constexpr uint32_t kChannels = 18;

struct Plan {
    const char* number;
    const char* behaviour;
    int32_t mode;
    uint32_t expected;
};

// What each line dials, by line number modulo the plan's size.
const Plan kPlan[] = {
    {"301", "answer rings=1 key=9 keyat=end2", 3, ORVEL_NR_NOTIFY_OK},
    {"302", "answer rings=1 hangup=end3", 2, ORVEL_NR_NOTIFY_OK},
    {"303", "busy", 3, ORVEL_NR_LINE_BUSY},
    {"304", "noanswer", 3, ORVEL_NR_NOT_HANDUP},
    {"305", "answer rings=2 key=9 keyat=end3", 1, ORVEL_NR_NOTIFY_OK},
    {"306", "silent rings=1 hangup=60", 3, ORVEL_NR_NOT_HANDUP},
};
constexpr std::size_t kPlanSize = sizeof kPlan / sizeof kPlan[0];

std::mutex g_mutex;
std::map<std::pair<uint32_t, uint32_t>, uint32_t> g_results;

void onResult(uint32_t device, uint32_t channel, uint32_t result) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_results.emplace(std::make_pair(device, channel), result);
}

std::set<long> threadIds() {
    std::set<long> ids;
    if (DIR* d = ::opendir("/proc/self/task")) {
        while (dirent* e = ::readdir(d)) {
            if (e->d_name[0] != '.') {
                ids.insert(std::atol(e->d_name));
            }
        }
        ::closedir(d);
    }
    return ids;
}

// User and system time of one thread, in clock ticks.
long threadTicks(long tid) {
    std::ifstream f("/proc/self/task/" + std::to_string(tid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    const auto close = text.rfind(')');
    if (close == std::string::npos) {
        return 0;
    }
    // Fields after the name: state is field 3; utime and stime are 14 and 15.
    std::vector<std::string> fields;
    std::size_t pos = close + 2;
    while (pos < text.size()) {
        const auto next = text.find(' ', pos);
        fields.push_back(text.substr(pos, next - pos));
        if (next == std::string::npos) {
            break;
        }
        pos = next + 1;
    }
    if (fields.size() < 13) {
        return 0;
    }
    return std::atol(fields[11].c_str()) + std::atol(fields[12].c_str());
}

// Busy processes, each bounded in time, so that none outlives a crashed run.
std::vector<pid_t> startBusyLoops(int count) {
    std::vector<pid_t> pids;
    for (int i = 0; i < count; ++i) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(10);
            volatile uint64_t x = 0;
            while (std::chrono::steady_clock::now() < end) {
                for (int k = 0; k < 1000000; ++k) {
                    x = x * 6364136223846793005ull + 1442695040888963407ull;
                }
            }
            ::_exit(0);
        }
        if (pid > 0) {
            pids.push_back(pid);
        }
    }
    return pids;
}

void stopBusyLoops(const std::vector<pid_t>& pids) {
    for (pid_t pid : pids) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
}

std::string loadAverage() {
    std::ifstream f("/proc/loadavg");
    std::string one, five, fifteen;
    f >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

bool writeWave(const fs::path& path, double seconds, double hz) {
    return orvel::tools::writeToneWave(path.string(), seconds, hz);
}

bool makeProgramDir(const fs::path& dir, const fs::path& fis, bool keepSimLog) {
    std::error_code ec;
    fs::create_directories(dir, ec);
    fs::copy_file(fis, dir / "orvel.fis", fs::copy_options::overwrite_existing, ec);
    if (ec) {
        std::fprintf(stderr, "cannot copy %s: %s\n", fis.c_str(), ec.message().c_str());
        return false;
    }
    std::ofstream(dir / "orveldrv.ini") << "[Driver]\nModule=liborvelsim.so\n";
    std::ofstream sim(dir / "orvelsim.ini");
    sim << "[Driver]\nModule=liborvelsim.so\n\n[Simulator]\nSpeed=1\nAdcRate=100\n"
        << (keepSimLog ? "Log=orvelsim.log\n" : "") << "\n";
    for (uint32_t b = 0; b < kBoards; ++b) {
        sim << "[Board" << b << "]\nUnits=6,6,6\n\n";
    }
    sim << "[Plan]\nDefault=unobtainable\n";
    for (const Plan& p : kPlan) {
        sim << p.number << "=" << p.behaviour << "\n";
    }
    return writeWave(dir / "message.wav", 3.0, 800) && writeWave(dir / "confirm.wav", 1.0, 1000) &&
           static_cast<bool>(sim);
}

}  // namespace

int main(int argc, char** argv) {
    int starve = 0;
    if (argc > 2 && std::strcmp(argv[1], "--starve") == 0) {
        starve = std::atoi(argv[2]);
        if (starve < 0 || starve > 16) {
            std::fprintf(stderr, "--starve: 0 to 16 busy processes\n");
            return 2;
        }
        argv[2] = argv[0];
        argv += 2;
        argc -= 2;
    }
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s [--starve N] <orvel.fis> [work directory] [log file]\n",
                     argv[0]);
        return 2;
    }
    const fs::path dir =
        argc > 2 ? fs::path(argv[2])
                 : fs::temp_directory_path() / ("orvel-capacity-" + std::to_string(::getpid()));
    // A directory of the caller's keeps the simulator's record of every line.
    if (!makeProgramDir(dir, argv[1], argc > 2)) {
        return 1;
    }
    if (argc > 3) {
        logEnable(argv[3], 1);
    }
    const std::set<long> before = threadIds();
    if (InitDll(dir.c_str()) != 0) {
        std::fprintf(stderr, "the engine cannot start on %s\n", dir.c_str());
        return 1;
    }
    std::vector<uint32_t> program(ORVEL_PROGRAM_STATE_WORDS, 0);
    GetProgrammState(program.data());
    if (program[1] != ORVEL_STATE_INITIALISED || program[0] != kBoards) {
        std::fprintf(stderr, "expected %u boards, found %u (state %u)\n", kBoards, program[0],
                     program[1]);
        ShutdownDll();
        return 1;
    }
    std::set<long> engine;
    for (long tid : threadIds()) {
        if (before.count(tid) == 0) {
            engine.insert(tid);
        }
    }
    if (!engine.empty()) {
        engine.erase(engine.begin());  // the simulator's clock thread
    }
    LoadSoundFile((dir / "message.wav").c_str(), 1);
    LoadConfirmFile((dir / "confirm.wav").c_str(), 2);
    StartDll();
    SetConfirmOn(1);
    setNotifyResultCallback(&onResult);
    const CallTimeParams params{10, 3, 25, 3, 25, 0, 3, 0};
    for (uint32_t d = 0; d < kBoards; ++d) {
        for (uint32_t c = 0; c < kChannels; ++c) {
            SetTimeParam(d, c, &params);
            AssignLine(d, c);
        }
    }
    // Lines are ready some seconds after assignment: wait until the full
    // line states report every one of them free.
    std::vector<uint32_t> states(ORVEL_LINE_STATES_MAX_WORDS, 0);
    const auto readyBy = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    uint32_t ready = 0;
    for (;;) {
        GetLineStateEx(states.data(), static_cast<uint32_t>(states.size()));
        ready = 0;
        for (uint32_t d = 0; d < kBoards; ++d) {
            for (uint32_t c = 0; c < kChannels; ++c) {
                ready += states[ORVEL_LINE_SLOT(d, c)] == 1 ? 1 : 0;
            }
        }
        if (ready == kBoards * kChannels || std::chrono::steady_clock::now() >= readyBy) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    if (ready != kBoards * kChannels) {
        std::fprintf(stderr, "only %u of %u lines became free\n", ready, kBoards * kChannels);
    }

    std::map<long, long> startTicks;
    for (long tid : engine) {
        startTicks[tid] = threadTicks(tid);
    }
    const std::string loadBefore = loadAverage();
    const std::vector<pid_t> busy = startBusyLoops(starve);
    const auto start = std::chrono::steady_clock::now();
    for (uint32_t d = 0; d < kBoards; ++d) {
        for (uint32_t c = 0; c < kChannels; ++c) {
            const Plan& p = kPlan[(d * kChannels + c) % kPlanSize];
            CallAbonent(d, c, p.number, (c % 2) != 0 ? 1 : 0, 1, 2, p.mode);
        }
    }
    const auto deadline = start + std::chrono::seconds(240);
    for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        std::lock_guard<std::mutex> lock(g_mutex);
        if (g_results.size() == kBoards * kChannels ||
            std::chrono::steady_clock::now() >= deadline) {
            break;
        }
    }
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const std::string loadAfter = loadAverage();
    stopBusyLoops(busy);
    long ticks = 0;
    for (long tid : engine) {
        ticks += threadTicks(tid) - startTicks[tid];
    }
    setNotifyResultCallback(nullptr);

    int correct = 0;
    int missing = 0;
    std::map<std::string, int> wrong;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        for (uint32_t d = 0; d < kBoards; ++d) {
            for (uint32_t c = 0; c < kChannels; ++c) {
                const Plan& p = kPlan[(d * kChannels + c) % kPlanSize];
                auto it = g_results.find({d, c});
                if (it == g_results.end()) {
                    ++missing;
                } else if (it->second == p.expected) {
                    ++correct;
                } else {
                    ++wrong[std::string(p.number) + " -> " + std::to_string(it->second)];
                }
            }
        }
    }
    const double cpu = static_cast<double>(ticks) / static_cast<double>(::sysconf(_SC_CLK_TCK));
    const double lines = kBoards * kChannels;
    std::printf("calls: %d of %.0f reached their planned result (%.1f %%), %d without result\n",
                correct, lines, 100.0 * correct / lines, missing);
    std::printf("busy processes: %d; load average before %s, at the end %s\n", starve,
                loadBefore.c_str(), loadAfter.c_str());
    for (const auto& [what, count] : wrong) {
        std::printf("  %d x %s\n", count, what.c_str());
    }
    std::printf(
        "engine threads: %zu, CPU %.2f s over %.1f s: %.1f %% of one core, %.3f %% per line\n",
        engine.size(), cpu, wall, 100.0 * cpu / wall, 100.0 * cpu / wall / lines);
    for (uint32_t d = 0; d < kBoards; ++d) {
        for (uint32_t c = 0; c < kChannels; ++c) {
            FreeLine(d, c);
        }
    }
    StopDll();
    ShutdownDll();
    if (argc <= 2) {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    return correct == static_cast<int>(lines) ? 0 : 1;
}
