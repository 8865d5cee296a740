// Benchmark: simulated boards with 18 idle lines each stream in real time
// through the whole engine. Prints the engine's and the simulator's processor
// use separately and whether any input was lost.
//   board_stream_bench [boards (10)] [seconds (60)]
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "board/driver_host.h"
#include "orvel.h"
#include "sim_driver.h"
#include "test_util.h"

namespace {

double processCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

size_t countLines(const std::string& path, const std::string& text) {
    std::ifstream in(path);
    size_t n = 0;
    for (std::string line; std::getline(in, line);) {
        n += line.find(text) != std::string::npos;
    }
    return n;
}

}  // namespace

int main(int argc, char** argv) {
    const int boards = argc > 1 ? std::atoi(argv[1]) : 10;
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 60;
    if (boards < 1 || boards > orvel::sim::kMaxBoards || seconds < 1) {
        std::fprintf(stderr, "usage: %s [boards 1..10] [seconds]\n", argv[0]);
        return 2;
    }
    orvel::testing::TempDir dir;
    std::filesystem::copy_file(ORVEL_DATA_DIR "/orvel.fis", dir.file("orvel.fis"));
    orvel::sim::SimConfig config;
    for (int b = 0; b < boards; ++b) {
        config.boards[b].present = true;
        for (auto& u : config.boards[b].units) {
            u.channels = 6;
            u.stuck.fill(-1);
        }
    }
    auto sim =
        std::make_shared<orvel::sim::SimDriver>(config, orvel::sim::SimDriver::Clock::RealTime);
    orvel::driver::DriverHost::setOverride(sim);
    const std::string log = dir.file("OrvelDll.log");
    logEnable(log.c_str(), 1);
    if (InitDll(dir.path().c_str()) != 0) {
        std::fprintf(stderr, "InitDll failed\n");
        return 1;
    }
    const double cpu0 = processCpuSeconds();
    const double sim0 = sim->clockCpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double simCpu = sim->clockCpuSeconds() - sim0;
    const double engineCpu = processCpuSeconds() - cpu0 - simCpu;
    uint64_t cardLost = 0;
    for (int b = 0; b < boards; ++b) {
        cardLost += sim->card(b)->inputBytesLost();
    }
    ShutdownDll();
    logEnable(log.c_str(), 0);
    orvel::driver::DriverHost::setOverride(nullptr);

    const size_t streamLost = countLines(log, "Digital stream lost");
    const size_t rxTimeouts = countLines(log, "BoardRxTimeOut");
    std::printf("%d boards x 18 lines, %.1f s\n", boards, wall);
    std::printf("engine:    %.1f %% of one core\n", 100.0 * engineCpu / wall);
    std::printf("simulator: %.1f %% of one core\n", 100.0 * simCpu / wall);
    std::printf(
        "\"Digital stream lost\": %zu, \"BoardRxTimeOut\": %zu, bytes the cards dropped: %llu\n",
        streamLost, rxTimeouts, static_cast<unsigned long long>(cardLost));
    return streamLost == 0 && rxTimeouts == 0 && cardLost == 0 ? 0 : 1;
}
