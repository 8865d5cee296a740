// The two functions through which the engine loads the simulator as its
// driver module; nothing else leaves the module.
#include <cstdio>

#include "board/driver.h"
#include "sim_driver.h"

extern "C" __attribute__((visibility("default"))) int orvel_driver_abi(void) {
    return orvel::driver::kDriverAbiVersion;
}

extern "C" __attribute__((visibility("default"))) orvel::driver::Driver* orvel_driver_create(
    const char* programDir) {
    std::string error;
    try {
        auto sim =
            orvel::sim::SimDriver::fromProgramDir(programDir != nullptr ? programDir : "", error);
        if (!sim) {
            std::fprintf(stderr, "orvelsim: %s\n", error.c_str());
            return nullptr;
        }
        return sim.release();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "orvelsim: %s\n", e.what());
        return nullptr;
    }
}
