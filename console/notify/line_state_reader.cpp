#include "notify/line_state_reader.h"

#include <array>

namespace orvel {

int32_t TLineStateReader::read(LineStateArray& out) const {
    out.fill(0);
    if (full_ != nullptr)
        return full_(out.data(), uint32_t(out.size()));
    if (short_ == nullptr)
        return -1;
    std::array<uint32_t, kShortStateWords> a{};
    const int32_t rc = short_(a.data());
    out[0] = a[0];
    for (int b = 0; b < kShortStateBoards; ++b) {
        for (int c = 0; c < kShortStateChannels; ++c) {
            const int i = kShortStateChannels * b + c;
            uint32_t* slot = out.data() + lineSlot(b, c);
            slot[0] = a[size_t(1 + i)];
            slot[1] = a[size_t(kShortStateResultBase + i)];
            slot[2] = a[size_t(kShortStateAonBase + i)];
        }
    }
    return rc;
}

TLineStateCoverage TLineStateReader::coverage() const {
    if (full_ != nullptr)
        return {};
    return {kShortStateBoards, kShortStateChannels};
}

}  // namespace orvel
