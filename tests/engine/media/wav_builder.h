// Builds WAVE files byte by byte for the reader tests and writes them to a
// per-test temporary folder.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace orvel::test {

struct WavBuilder {
    std::vector<uint8_t> bytes;

    void tag(const char* t) {
        for (int i = 0; i < 4; ++i) {
            bytes.push_back(static_cast<uint8_t>(t[i]));
        }
    }
    void u32(uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
        }
    }
    void u16(uint16_t v) {
        bytes.push_back(static_cast<uint8_t>(v));
        bytes.push_back(static_cast<uint8_t>(v >> 8));
    }
    void chunk(const char* t, const std::vector<uint8_t>& body) {
        tag(t);
        u32(static_cast<uint32_t>(body.size()));
        bytes.insert(bytes.end(), body.begin(), body.end());
    }
    static std::vector<uint8_t> format(uint16_t tag, uint16_t channels, uint32_t rate,
                                       uint16_t bits, int extension = -1) {
        WavBuilder f;
        f.u16(tag);
        f.u16(channels);
        f.u32(rate);
        f.u32(rate * channels * bits / 8);
        f.u16(static_cast<uint16_t>(channels * bits / 8));
        f.u16(bits);
        if (extension >= 0) {
            f.u16(static_cast<uint16_t>(extension));
        }
        return f.bytes;
    }
    static std::vector<uint8_t> pcm(const std::vector<int16_t>& samples) {
        std::vector<uint8_t> b(samples.size() * 2);
        std::memcpy(b.data(), samples.data(), b.size());
        return b;
    }
    // RIFF header with the right size over everything added after it.
    std::vector<uint8_t> file(int sizeError = 0) const {
        WavBuilder w;
        w.tag("RIFF");
        w.u32(static_cast<uint32_t>(bytes.size() + 4 + sizeError));
        w.tag("WAVE");
        w.bytes.insert(w.bytes.end(), bytes.begin(), bytes.end());
        return w.bytes;
    }
    // A complete 16-bit mono message.
    static std::vector<uint8_t> message(const std::vector<int16_t>& samples, uint32_t rate = 16000,
                                        uint16_t channels = 1, uint16_t tag = 1) {
        WavBuilder w;
        w.chunk("fmt ", format(tag, channels, rate, 16));
        w.chunk("data", pcm(samples));
        return w.file();
    }
};

class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/orvel_media_XXXXXX";
        path_ = ::mkdtemp(pattern);
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    std::string write(const std::string& name, const std::vector<uint8_t>& bytes) const {
        const std::string p = path_ + "/" + name;
        std::ofstream(p, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return p;
    }
    std::vector<uint8_t> read(const std::string& p) const {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

}  // namespace orvel::test
