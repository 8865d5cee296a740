#include "board/dtmf_tone_set.h"

#include <cerrno>
#include <mutex>
#include <new>

namespace orvel {
namespace {

std::mutex g_mutex;
std::weak_ptr<const dsp::CDtmfToneBank> g_set;

}  // namespace

std::shared_ptr<const dsp::CDtmfToneBank> sharedDtmfToneSet() {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (auto set = g_set.lock()) {
        return set;
    }
    auto set = std::make_shared<dsp::CDtmfToneBank>();
    if (set->build(dsp::CDtmfToneGenerator::kDefaultRate) != 0) {
        errno = ENOMEM;
        return nullptr;
    }
    g_set = set;
    return set;
}

}  // namespace orvel
