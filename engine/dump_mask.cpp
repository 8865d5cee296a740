#include "dump_mask.h"

#include <atomic>
#include <cstdio>
#include <ctime>

namespace orvel {
namespace {
std::atomic<uint32_t> g_mask{0};
}

DumpMask& DumpMask::instance() {
    static DumpMask mask;
    return mask;
}

uint32_t DumpMask::value() const {
    return g_mask.load(std::memory_order_relaxed);
}

void DumpMask::set(uint32_t mask) {
    g_mask.store(mask, std::memory_order_relaxed);
}

std::string dumpFileName(DumpBit bit, const std::string& channelDir,
                         const std::string& callPrefix) {
    const char* suffix = nullptr;
    switch (bit) {
        case DUMP_PD_STATE:
            suffix = "_PD_state.raw";
            break;
        case DUMP_PD_WAV:
            suffix = "_PD_wav.raw";
            break;
        case DUMP_VAD_ENERGY:
            suffix = "_VAD_energy.raw";
            break;
        case DUMP_VAD_DECISION:
            suffix = "_VAD_decision.raw";
            break;
        case DUMP_SD_MEANDR:
            suffix = "_SD_meandr.raw";
            break;
        case DUMP_SD_SIGNAL:
            suffix = "_SD_signal.raw";
            break;
        case DUMP_SD_THRESHOLD:
            suffix = "_SD_threshold.raw";
            break;
    }
    if (suffix == nullptr) {
        return {};
    }
    return channelDir + "/" + callPrefix + suffix;
}

std::string callPrefix(int year, int month, int day, int hour, int minute, int second,
                       const char* number) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d%02d%02d%02d%02d%02d", year, month, day, hour, minute,
                  second);
    std::string prefix(stamp);
    prefix += '_';
    prefix += number != nullptr ? number : "";
    prefix += '_';
    return prefix;
}

std::string callPrefixNow(const char* number) {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return callPrefix(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                      local.tm_min, local.tm_sec, number);
}

std::string channelDumpDir(const std::string& dumpBase, uint32_t device, uint32_t channel) {
    return dumpBase + std::to_string(device) + "/Channel" + std::to_string(channel);
}

}  // namespace orvel
