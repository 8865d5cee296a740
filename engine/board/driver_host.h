// Chooses and loads the driver the engine talks to.
//
// The program directory's "orveldrv.ini" may name a driver module:
//     [Driver]
//     Module=liborvelsim.so
// and the environment variable ORVEL_DRIVER_MODULE overrides it. A relative
// module name is looked for beside the engine library first. Without either,
// the engine uses a driver behind which no card exists, as on a machine
// without boards.
#pragma once

#include <memory>
#include <string>

#include "board/driver.h"

namespace orvel::driver {

class DriverHost {
public:
    ~DriverHost();

    // Loads the driver for `programDir`; false (and the empty driver) when a
    // named module cannot be loaded, with the reason in `error`.
    bool load(const std::string& programDir, std::string& error);
    // Releases the driver, then the module that made it.
    void unload();

    Driver& driver();

    // Tests hand a driver in directly; it is used by the next load() instead
    // of any module. Null removes it.
    static void setOverride(std::shared_ptr<Driver> driver);

private:
    std::shared_ptr<Driver> driver_;
    void* module_ = nullptr;
};

// The module name configured for `programDir` (environment first), or empty.
std::string configuredModule(const std::string& programDir);

}  // namespace orvel::driver
