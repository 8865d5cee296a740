// A scripted card behind the driver interface: configured units, registers
// that remember what was written, an input stream that stays empty.
#pragma once

#include <atomic>
#include <cerrno>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "board/driver.h"

namespace orvel::testing {

class FakeRegisters : public driver::RegisterBlock {
public:
    explicit FakeRegisters(uint32_t config) : config_(config) {}
    uint32_t read(unsigned word) override {
        std::lock_guard<std::mutex> lock(mutex_);
        return word == kConfig ? config_ : (word == kCommand ? 0 : words_[word]);
    }
    void write(unsigned word, uint32_t value) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (word < 3) {
            words_[word] = value;
        }
        if (word == kCommand) {
            commands_.push_back(value);
        }
    }
    std::vector<uint32_t> commands() {
        std::lock_guard<std::mutex> lock(mutex_);
        return commands_;
    }

private:
    std::mutex mutex_;
    uint32_t config_;
    uint32_t words_[3] = {0, 0, 0};
    std::vector<uint32_t> commands_;
};

class FakeHandle : public driver::DeviceHandle {
public:
    explicit FakeHandle(FakeRegisters* regs, bool failStart = false)
        : regs_(regs), failStart_(failStart) {}
    int ioctl(uint32_t code, const void* in, std::size_t inSize, void* out,
              std::size_t outSize) override {
        switch (code) {
            case driver::IOCTL_GET_REGISTERS:
                if (out == nullptr || outSize < sizeof(driver::RegistersInfo)) {
                    errno = EINVAL;
                    return -1;
                }
                *static_cast<driver::RegistersInfo*>(out) = {1, 0, regs_};
                return 0;
            case driver::IOCTL_START:
                if (failStart_ || in == nullptr || inSize < sizeof(driver::StartRecord)) {
                    errno = EINVAL;
                    return -1;
                }
                return 0;
            case driver::IOCTL_STOP:
            case driver::IOCTL_STREAM_SWITCH:
                return 0;
            default:
                errno = EINVAL;
                return -1;
        }
    }
    ssize_t read(void*, std::size_t) override { return 0; }
    ssize_t write(const void*, std::size_t size) override { return static_cast<ssize_t>(size); }

private:
    FakeRegisters* regs_;
    bool failStart_;
};

// Boards by device index, each with its configuration word.
class FakeDriver : public driver::Driver {
public:
    explicit FakeDriver(std::vector<uint32_t> configs) {
        for (uint32_t c : configs) {
            registers_.push_back(std::make_unique<FakeRegisters>(c));
        }
    }
    std::unique_ptr<driver::DeviceHandle> open(const std::string& name) override {
        for (size_t i = 0; i < registers_.size(); ++i) {
            if (name == driver::deviceName(static_cast<int>(i))) {
                opens_++;
                return std::make_unique<FakeHandle>(registers_[i].get(), failStart_);
            }
        }
        errno = ENOENT;
        return nullptr;
    }
    FakeRegisters& registers(size_t i) { return *registers_[i]; }
    // Every card refuses to start its streams.
    void failStart() { failStart_ = true; }
    int opens() const { return opens_; }

private:
    std::vector<std::unique_ptr<FakeRegisters>> registers_;
    std::atomic<int> opens_{0};
    bool failStart_ = false;
};

// Configuration word with the given channels per unit and a board version.
inline uint32_t configWord(uint32_t u0, uint32_t u1, uint32_t u2, uint32_t version = 0x123) {
    return (u0 & 7) | ((u1 & 7) << 4) | ((u2 & 7) << 8) | (version << 12);
}

}  // namespace orvel::testing
