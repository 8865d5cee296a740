#pragma once
// The queue the library's result callback feeds: whole 12-byte records
// (board, channel, result) in a 12000-byte ring. A record that does not fit
// is dropped rather than cut, so a reader never sees half a record.

#include <array>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>

#include "notify/line_library.h"

namespace orvel {

struct TNotifyResultRecord {
    uint32_t board = 0;
    uint32_t channel = 0;
    uint32_t result = 0;
};

class TResultQueue {
public:
    static constexpr int kCapacityBytes = 12000;
    static constexpr int kRecordBytes = 12;

    // False when the record was dropped for want of room.
    bool push(const TNotifyResultRecord& record);
    std::optional<TNotifyResultRecord> pop();
    int size() const;
    int dropped() const;

    // The plain function handed to the library; it feeds whichever queue is
    // installed (none: the record is ignored).
    static void install(TResultQueue* queue);
    static void callback(uint32_t board, uint32_t channel, uint32_t result);

private:
    mutable std::mutex mutex_;
    std::array<uint8_t, kCapacityBytes> ring_{};
    int head_ = 0;  // byte where the next record is read
    int used_ = 0;  // bytes held
    int dropped_ = 0;
};

}  // namespace orvel
