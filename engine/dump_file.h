// One binary dump file of a channel's call. Opening closes what was open;
// write errors are ignored because dumps never change how a line is handled.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "dump_mask.h"

namespace orvel {

class DumpFile {
public:
    DumpFile() = default;
    ~DumpFile();
    DumpFile(const DumpFile&) = delete;
    DumpFile& operator=(const DumpFile&) = delete;

    // Opens the file of `bit` when the bit is set in `mask`; otherwise only
    // closes. A file from an earlier call with the same name is emptied, so a
    // dump always holds exactly one call.
    bool open(DumpBit bit, uint32_t mask, const std::string& channelDir,
              const std::string& callPrefix);
    bool openPath(const std::string& path);
    void close();
    bool isOpen() const { return fd_ >= 0; }

    void write(const void* data, std::size_t bytes);
    // One 4-byte record of two signed 16-bit values, little-endian.
    void writePair(int16_t first, int16_t second);

private:
    int fd_ = -1;
};

}  // namespace orvel
