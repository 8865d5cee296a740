// Writes a message file: 16-bit PCM, one channel.
#pragma once

#include <cmath>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace orvel::tasktest {

inline void writeWav(const std::string& path, const std::vector<int16_t>& samples,
                     uint32_t rate = 16000, uint16_t channels = 1) {
    std::ofstream out(path, std::ios::binary);
    auto u32 = [&](uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    const uint32_t bytes = static_cast<uint32_t>(samples.size() * 2);
    out.write("RIFF", 4);
    u32(36 + bytes);
    out.write("WAVEfmt ", 8);
    u32(16);
    u16(1);
    u16(channels);
    u32(rate);
    u32(rate * 2 * channels);
    u16(static_cast<uint16_t>(2 * channels));
    u16(16);
    out.write("data", 4);
    u32(bytes);
    out.write(reinterpret_cast<const char*>(samples.data()), bytes);
}

inline std::vector<int16_t> sine(double hz, size_t n, double amplitude, double rate = 16000) {
    std::vector<int16_t> s(n);
    for (size_t i = 0; i < n; ++i) {
        s[i] = static_cast<int16_t>(amplitude * std::sin(2 * M_PI * hz * i / rate));
    }
    return s;
}

}  // namespace orvel::tasktest
