// The process-wide mask that selects which signal dumps a call writes.
#pragma once

#include <cstdint>
#include <string>

namespace orvel {

enum DumpBit : uint32_t {
    DUMP_PD_STATE = 0x01,
    DUMP_PD_WAV = 0x02,
    DUMP_VAD_ENERGY = 0x04,
    DUMP_VAD_DECISION = 0x08,
    DUMP_SD_MEANDR = 0x10,
    DUMP_SD_SIGNAL = 0x20,
    DUMP_SD_THRESHOLD = 0x40,
};

// Read on caller threads when a call starts, written by the exports; atomic
// so that the two never race.
class DumpMask {
public:
    static DumpMask& instance();
    uint32_t value() const;
    void set(uint32_t mask);
    bool has(DumpBit bit) const { return (value() & bit) != 0; }

private:
    DumpMask() = default;
};

// "%s/%s_PD_state.raw" and its siblings: the file of one dump bit, or an empty
// string for a bit that names no dump.
std::string dumpFileName(DumpBit bit, const std::string& channelDir, const std::string& callPrefix);

// "%04d%02d%02d%02d%02d%02d_%s_" from a local time and the dialled number.
std::string callPrefix(int year, int month, int day, int hour, int minute, int second,
                       const char* number);
// The call prefix for the current local time.
std::string callPrefixNow(const char* number);

// <dump base><device>/Channel<channel>; the base already ends in ".../dump/Device".
std::string channelDumpDir(const std::string& dumpBase, uint32_t device, uint32_t channel);

}  // namespace orvel
