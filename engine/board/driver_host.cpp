#include "board/driver_host.h"

#include <SimpleIni.h>
#include <dlfcn.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace orvel::driver {
namespace {

// What stands where no driver is configured: every device name is absent.
class NoCardDriver final : public Driver {
public:
    std::unique_ptr<DeviceHandle> open(const std::string&) override {
        errno = ENOENT;
        return nullptr;
    }
};

std::mutex g_overrideMutex;
std::shared_ptr<Driver> g_override;

std::string ownDirectory() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&configuredModule), &info) == 0 ||
        info.dli_fname == nullptr) {
        return {};
    }
    std::string path(info.dli_fname);
    auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string withSlash(const std::string& dir) {
    if (dir.empty() || dir.back() == '/') {
        return dir;
    }
    return dir + '/';
}

}  // namespace

std::string deviceName(int index) {
    char name[64];
    std::snprintf(name, sizeof name, kDeviceNameFormat, index);
    return name;
}

std::string configuredModule(const std::string& programDir) {
    if (const char* env = std::getenv("ORVEL_DRIVER_MODULE"); env != nullptr && *env != '\0') {
        return env;
    }
    CSimpleIniA ini(false, false, false);
    if (ini.LoadFile((withSlash(programDir) + "orveldrv.ini").c_str()) < 0) {
        return {};
    }
    const char* module = ini.GetValue("Driver", "Module", "");
    return module != nullptr ? module : "";
}

DriverHost::~DriverHost() {
    unload();
}

bool DriverHost::load(const std::string& programDir, std::string& error) {
    unload();
    {
        std::lock_guard<std::mutex> lock(g_overrideMutex);
        if (g_override) {
            driver_ = g_override;
            return true;
        }
    }
    std::string module = configuredModule(programDir);
    if (module.empty()) {
        driver_ = std::make_shared<NoCardDriver>();
        return true;
    }
    if (module.find('/') == std::string::npos) {
        std::string besideUs = ownDirectory() + module;
        module_ = dlopen(besideUs.c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    if (module_ == nullptr) {
        module_ = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    if (module_ == nullptr) {
        const char* why = dlerror();
        error = why != nullptr ? why : module;
        driver_ = std::make_shared<NoCardDriver>();
        return false;
    }
    auto abi = reinterpret_cast<orvel_driver_abi_fn>(dlsym(module_, ORVEL_DRIVER_ABI_SYMBOL));
    auto create =
        reinterpret_cast<orvel_driver_create_fn>(dlsym(module_, ORVEL_DRIVER_CREATE_SYMBOL));
    Driver* made = nullptr;
    if (abi == nullptr || create == nullptr) {
        error = module + ": not a driver module";
    } else if (abi() != kDriverAbiVersion) {
        error = module + ": driver module of another version";
    } else if ((made = create(programDir.c_str())) == nullptr) {
        error = module + ": the driver module refused to start";
    }
    if (made == nullptr) {
        dlclose(module_);
        module_ = nullptr;
        driver_ = std::make_shared<NoCardDriver>();
        return false;
    }
    driver_.reset(made);
    return true;
}

void DriverHost::unload() {
    driver_.reset();
    if (module_ != nullptr) {
        dlclose(module_);
        module_ = nullptr;
    }
}

Driver& DriverHost::driver() {
    if (!driver_) {
        driver_ = std::make_shared<NoCardDriver>();
    }
    return *driver_;
}

void DriverHost::setOverride(std::shared_ptr<Driver> driver) {
    std::lock_guard<std::mutex> lock(g_overrideMutex);
    g_override = std::move(driver);
}

}  // namespace orvel::driver
