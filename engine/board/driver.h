// The boundary between the engine and whatever stands for the boards' kernel
// driver: a real driver binding or the board simulator. The engine sees only
// these classes; a driver module is loaded behind them (driver_host.h).
//
// This header is also compiled into driver modules, so it holds no engine
// dependency and its inline parts are self-contained.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace orvel::driver {

// Bumped whenever a class below changes shape; a module built against another
// version is refused.
inline constexpr int kDriverAbiVersion = 1;

// Device names tried by the device search, index 0..9.
inline constexpr int kMaxDevices = 10;
inline constexpr const char* kDeviceNameFormat = "/dev/OrvelPCIDevice%1d";
std::string deviceName(int index);

// Control codes.
inline constexpr uint32_t IOCTL_GET_REGISTERS = 0x222000;
inline constexpr uint32_t IOCTL_START = 0x222004;
inline constexpr uint32_t IOCTL_STOP = 0x222008;
inline constexpr uint32_t IOCTL_STREAM_SWITCH = 0x222010;

// Auto-reset event, owned by the engine and signalled by the driver: one
// wait() returns per signal() (signals before a wait are not lost; several
// signals before a wait count as one).
class DeviceEvent {
public:
    enum WaitResult { Signalled = 0, TimedOut = 1 };

    void signal() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            signalled_ = true;
        }
        cond_.notify_one();
    }

    // timeoutMs < 0 waits for ever.
    WaitResult wait(int timeoutMs) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (timeoutMs < 0) {
            cond_.wait(lock, [this] { return signalled_; });
        } else if (!cond_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                   [this] { return signalled_; })) {
            return TimedOut;
        }
        signalled_ = false;
        return Signalled;
    }

    void reset() {
        std::lock_guard<std::mutex> lock(mutex_);
        signalled_ = false;
    }

private:
    std::mutex mutex_;
    std::condition_variable cond_;
    bool signalled_ = false;
};

// The card's three 32-bit registers. Accesses go through calls rather than a
// raw mapping so that a simulated card can act on each write.
class RegisterBlock {
public:
    enum Word : unsigned { kData = 0, kCommand = 1, kConfig = 2 };
    virtual ~RegisterBlock() = default;
    virtual uint32_t read(unsigned word) = 0;
    virtual void write(unsigned word, uint32_t value) = 0;
};

// Output of IOCTL_GET_REGISTERS. The register block field is pointer-sized.
struct RegistersInfo {
    uint32_t initialised = 0;  // non-zero: the card is initialised
    uint32_t reserved = 0;
    RegisterBlock* registers = nullptr;
};

// Input of IOCTL_START. Event fields are pointer-sized.
struct StartRecord {
    uint32_t startWord = 5;
    uint32_t secondStartWord = 5;
    DeviceEvent* receiveEvent = nullptr;
    DeviceEvent* transmitEvent = nullptr;
};

// Input of IOCTL_STREAM_SWITCH.
struct StreamSwitchRecord {
    uint32_t index = 0;
    uint32_t mode = 0;  // 0: stream switch (value 0/1); 1: line-control output switch
    uint32_t value = 0;
};

// One open card.
class DeviceHandle {
public:
    virtual ~DeviceHandle() = default;
    // 0 on success, -1 with errno set on failure (bad code, wrong sizes, card fault).
    virtual int ioctl(uint32_t code, const void* in, std::size_t inSize, void* out,
                      std::size_t outSize) = 0;
    // Takes the input bytes available now, at most `size`: never blocks;
    // 0 when nothing is waiting (wait on the receive event). -1 on failure.
    virtual ssize_t read(void* buffer, std::size_t size) = 0;
    // Hands output bytes to the card: returns how many it took (0 when its
    // buffer is full: wait on the transmit event). -1 on failure.
    virtual ssize_t write(const void* data, std::size_t size) = 0;
};

class Driver {
public:
    virtual ~Driver() = default;
    // Opens the card behind `name`, or returns null with errno set (ENOENT
    // when no such device exists).
    virtual std::unique_ptr<DeviceHandle> open(const std::string& name) = 0;
};

}  // namespace orvel::driver

// A driver module is a shared object exporting these two functions.
extern "C" {
typedef int (*orvel_driver_abi_fn)(void);
typedef orvel::driver::Driver* (*orvel_driver_create_fn)(const char* programDir);
}
#define ORVEL_DRIVER_ABI_SYMBOL "orvel_driver_abi"
#define ORVEL_DRIVER_CREATE_SYMBOL "orvel_driver_create"
