// A minimal board host for the simulator tests: opens a card through the
// driver interface, brings it up the way the engine does, and splits the
// input byte stream into data and unit frames.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "board/driver.h"
#include "sim_card.h"
#include "sim_driver.h"

namespace orvel::sim::test {

struct UnitFrame {
    int unit;
    int local;
    int code;
    int value;
};

class SimHost {
public:
    SimHost(SimDriver& drv, int board) : drv_(drv), board_(board) {
        char name[64];
        std::snprintf(name, sizeof name, driver::kDeviceNameFormat, board);
        handle = drv.open(name);
        if (handle) {
            driver::RegistersInfo info;
            handle->ioctl(driver::IOCTL_GET_REGISTERS, nullptr, 0, &info, sizeof info);
            regs = info.registers;
        }
    }

    int start() {
        driver::StartRecord rec;
        rec.receiveEvent = &rx;
        rec.transmitEvent = &tx;
        return handle->ioctl(driver::IOCTL_START, &rec, sizeof rec, nullptr, 0);
    }
    int streamSwitch(uint32_t index, uint32_t value, uint32_t mode = 0) {
        driver::StreamSwitchRecord rec;
        rec.index = index;
        rec.mode = mode;
        rec.value = value;
        return handle->ioctl(driver::IOCTL_STREAM_SWITCH, &rec, sizeof rec, nullptr, 0);
    }
    // Programs unit u's codec and waits (by status reads) for it.
    bool programCodec(int u) {
        regs->write(0, u);
        regs->write(1, kRegSelectUnit);
        regs->write(0, 0);
        regs->write(1, kRegCodecBegin);
        const uint32_t words[8] = {0x810C, 0x82E1, 0x8388, 0x8488, 0x8588, 0x8600, 0x8700, 0x8001};
        for (uint32_t w : words) {
            regs->write(0, w);
            regs->write(1, kRegCodecWord);
        }
        for (int i = 0; i < 100; ++i) {
            if ((regs->read(1) & kStatusCodecBusy) == 0) {
                return true;
            }
        }
        return false;
    }
    // Starts the card and every unit that has channels, as the engine does.
    void bringUp() {
        start();
        for (int u = 0; u < 3; ++u) {
            if (((regs->read(2) >> (4 * u)) & 7) != 0 && programCodec(u)) {
                streamSwitch(2 * u, 1);
                streamSwitch(2 * u + 1, 1);
            }
        }
    }
    void unitCommand(int unit, int local, int code, int value) {
        regs->write(
            0, (static_cast<uint32_t>(local & 7) << 16) | ((code & 0xFF) << 8) | (value & 0xFF));
        regs->write(1, kRegUnitCommand + unit);
    }

    // Steps the clock and parses everything that arrived.
    void step(uint64_t samples) {
        drv_.step(samples);
        drain();
    }
    void drain() {
        uint8_t buf[65536];
        ssize_t n;
        while ((n = handle->read(buf, sizeof buf)) > 0) {
            pending_.insert(pending_.end(), buf, buf + n);
        }
        size_t p = 0;
        while (p < pending_.size()) {
            uint8_t d = pending_[p];
            size_t len = (d & 0x08) != 0 ? 4 : 14;
            if (p + len > pending_.size()) {
                break;
            }
            if ((d & 0x80) != 0 || pending_[p + 1] != 0x47) {
                ++garbage;
                ++p;
                continue;
            }
            int unit = d & 3;
            if (len == 4) {
                units.push_back({unit, d >> 4, pending_[p + 3], pending_[p + 2]});
            } else {
                ++dataFrames[unit];
                for (int k = 0; k < 6; ++k) {
                    int16_t s = static_cast<int16_t>(pending_[p + 2 + 2 * k] |
                                                     (pending_[p + 3 + 2 * k] << 8));
                    samples[unit * 6 + k].push_back(s);
                }
            }
            p += len;
        }
        pending_.erase(pending_.begin(), pending_.begin() + p);
    }

    // Unit frames of one kind, then forgotten.
    std::vector<UnitFrame> take(int code) {
        std::vector<UnitFrame> out, keep;
        for (const auto& f : units) {
            (f.code == code ? out : keep).push_back(f);
        }
        units = keep;
        return out;
    }

    // Writes `frames` output frames carrying `signal` (16 kHz) on hardware
    // channel h, stepping the clock while the card's buffer is full.
    void play(int h, const std::vector<int16_t>& signal) {
        size_t pos = 0;
        while (pos < signal.size()) {
            uint8_t frame[64] = {};
            frame[2 * h] = static_cast<uint8_t>(signal[pos] & 0xFF);
            frame[2 * h + 1] = static_cast<uint8_t>((signal[pos] >> 8) & 0xFF);
            if (handle->write(frame, sizeof frame) == 64) {
                ++pos;
            } else {
                step(64);
            }
        }
    }

    driver::DeviceEvent rx, tx;  // before the handle: they outlive it
    std::unique_ptr<driver::DeviceHandle> handle;
    driver::RegisterBlock* regs = nullptr;
    std::vector<UnitFrame> units;
    uint64_t dataFrames[4] = {};
    std::vector<int16_t> samples[18];  // input samples by hardware channel
    uint64_t garbage = 0;

private:
    SimDriver& drv_;
    int board_;
    std::vector<uint8_t> pending_;
};

// Power of `freq` in `x` relative to the total power (Goertzel, 8 kHz).
inline double toneShare(const int16_t* x, size_t n, double freq) {
    double w = 2 * 3.14159265358979 * freq / 8000.0;
    double c = 2 * std::cos(w), s1 = 0, s2 = 0, total = 0;
    for (size_t i = 0; i < n; ++i) {
        double s0 = x[i] + c * s1 - s2;
        s2 = s1;
        s1 = s0;
        total += static_cast<double>(x[i]) * x[i];
    }
    double p = s1 * s1 + s2 * s2 - c * s1 * s2;
    return total > 0 ? 2 * p / (n * total) : 0;
}

inline double rms(const int16_t* x, size_t n) {
    double t = 0;
    for (size_t i = 0; i < n; ++i) {
        t += static_cast<double>(x[i]) * x[i];
    }
    return n > 0 ? std::sqrt(t / n) : 0;
}

}  // namespace orvel::sim::test
