// A scripted card for the board device tests: registers that record every
// write and answer status reads from a script, and a handle that records the
// control codes it is given.
#pragma once

#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "board/driver.h"

namespace orvel::test {

struct FakeCard : driver::RegisterBlock {
    uint32_t config = 0;
    bool initialised = true;
    // Status reads: codec busy for this many reads (-1: for ever); unit u
    // busy for unitBusy[u] reads (-1: for ever).
    int codecBusyReads = 0;
    int codecBusyPerProgramming = 0;
    int unitBusy[3] = {0, 0, 0};
    int ioctlResult = 0;
    std::vector<std::pair<unsigned, uint32_t>> writes;
    std::vector<uint32_t> ioctls;
    std::vector<driver::StreamSwitchRecord> switches;
    driver::StartRecord started{};
    uint32_t data = 0;

    uint32_t read(unsigned word) override {
        if (word == kConfig) {
            return config;
        }
        if (word != kCommand) {
            return data;
        }
        uint32_t status = 0;
        if (codecBusyReads != 0) {
            status |= 0x4000;
            if (codecBusyReads > 0) {
                --codecBusyReads;
            }
        }
        for (int u = 0; u < 3; ++u) {
            if (unitBusy[u] != 0) {
                status |= 0x10u << u;
                if (unitBusy[u] > 0) {
                    --unitBusy[u];
                }
            }
        }
        return status;
    }
    void write(unsigned word, uint32_t value) override {
        writes.emplace_back(word, value);
        if (word == kData) {
            data = value;
        } else if (word == kCommand && value == 0x47470010) {
            // The eighth codec word starts the programming.
            int words = 0;
            for (auto it = writes.rbegin(); it != writes.rend(); ++it) {
                if (it->first == kCommand && it->second == 0x47470010) {
                    ++words;
                } else if (it->first == kCommand && it->second != 0x47470010) {
                    break;
                }
            }
            if (words == 8 && codecBusyPerProgramming != 0) {
                codecBusyReads = codecBusyPerProgramming;
            }
        }
    }

    // Data words written with unit command words (register 1 = 0x47470018 + u).
    std::vector<uint32_t> unitWords(int unit) const {
        std::vector<uint32_t> out;
        for (size_t i = 1; i < writes.size(); ++i) {
            if (writes[i].first == kCommand && writes[i].second == 0x47470018u + unit &&
                writes[i - 1].first == kData) {
                out.push_back(writes[i - 1].second);
            }
        }
        return out;
    }
    size_t count(unsigned word, uint32_t value) const {
        size_t n = 0;
        for (const auto& w : writes) {
            n += w.first == word && w.second == value;
        }
        return n;
    }
};

class FakeHandle : public driver::DeviceHandle {
public:
    explicit FakeHandle(std::shared_ptr<FakeCard> card) : card_(std::move(card)) {}
    int ioctl(uint32_t code, const void* in, std::size_t inSize, void* out,
              std::size_t outSize) override {
        card_->ioctls.push_back(code);
        if (card_->ioctlResult != 0) {
            errno = EIO;
            return -1;
        }
        if (code == driver::IOCTL_GET_REGISTERS && outSize >= sizeof(driver::RegistersInfo)) {
            driver::RegistersInfo info;
            info.initialised = card_->initialised ? 1 : 0;
            info.registers = card_.get();
            std::memcpy(out, &info, sizeof info);
        } else if (code == driver::IOCTL_START && inSize >= sizeof(driver::StartRecord)) {
            std::memcpy(&card_->started, in, sizeof(driver::StartRecord));
        } else if (code == driver::IOCTL_STREAM_SWITCH &&
                   inSize >= sizeof(driver::StreamSwitchRecord)) {
            driver::StreamSwitchRecord rec;
            std::memcpy(&rec, in, sizeof rec);
            card_->switches.push_back(rec);
        }
        return 0;
    }
    ssize_t read(void*, std::size_t) override { return 0; }
    ssize_t write(const void*, std::size_t size) override { return static_cast<ssize_t>(size); }

private:
    std::shared_ptr<FakeCard> card_;
};

class FakeDriver : public driver::Driver {
public:
    std::shared_ptr<FakeCard> card = std::make_shared<FakeCard>();
    std::unique_ptr<driver::DeviceHandle> open(const std::string& name) override {
        if (name != "/dev/OrvelPCIDevice0") {
            errno = ENOENT;
            return nullptr;
        }
        return std::make_unique<FakeHandle>(card);
    }
};

// Configuration word for unit channel counts and option bits.
inline uint32_t configWord(uint32_t c0, uint32_t c1, uint32_t c2, uint32_t options = 0,
                           uint32_t version = 0) {
    return c0 | (c1 << 4) | (c2 << 8) | ((options & 1) << 3) | ((options & 2) << 6) |
           ((options & 4) << 9) | (version << 12);
}

}  // namespace orvel::test
