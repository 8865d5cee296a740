// A plain sine tone written as a message file (16-bit mono PCM at 16000 Hz),
// for line checks and tests that have no recorded message.
#pragma once

#include <cmath>
#include <cstdint>
#include <fstream>
#include <string>

namespace orvel::tools {

inline bool writeToneWave(const std::string& path, double seconds, double hz) {
    constexpr uint32_t kRate = 16000;
    constexpr double kAmplitude = 6000.0;
    const auto samples = static_cast<uint32_t>(seconds * kRate);
    std::ofstream f(path, std::ios::binary);
    auto u32 = [&](uint32_t v) { f.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](uint16_t v) { f.write(reinterpret_cast<const char*>(&v), 2); };
    f.write("RIFF", 4);
    u32(36 + samples * 2);
    f.write("WAVEfmt ", 8);
    u32(16);  // fmt chunk size
    u16(1);   // PCM
    u16(1);   // mono
    u32(kRate);
    u32(kRate * 2);  // bytes per second
    u16(2);          // block align
    u16(16);         // bits per sample
    f.write("data", 4);
    u32(samples * 2);
    for (uint32_t i = 0; i < samples; ++i) {
        const double v = kAmplitude * std::sin(2.0 * M_PI * hz * i / kRate);
        u16(static_cast<uint16_t>(static_cast<int16_t>(v)));
    }
    return static_cast<bool>(f);
}

}  // namespace orvel::tools
