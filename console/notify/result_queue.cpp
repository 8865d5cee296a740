#include "notify/result_queue.h"

#include <cstring>

namespace orvel {
namespace {
std::mutex g_installMutex;
TResultQueue* g_installed = nullptr;
}  // namespace

bool TResultQueue::push(const TNotifyResultRecord& record) {
    const uint32_t words[3] = {record.board, record.channel, record.result};
    uint8_t bytes[kRecordBytes];
    std::memcpy(bytes, words, sizeof bytes);
    std::lock_guard lock(mutex_);
    if (kCapacityBytes - used_ < kRecordBytes) {
        ++dropped_;
        return false;
    }
    int tail = (head_ + used_) % kCapacityBytes;
    for (uint8_t b : bytes) {
        ring_[size_t(tail)] = b;
        tail = (tail + 1) % kCapacityBytes;
    }
    used_ += kRecordBytes;
    return true;
}

std::optional<TNotifyResultRecord> TResultQueue::pop() {
    std::lock_guard lock(mutex_);
    if (used_ < kRecordBytes)
        return std::nullopt;
    uint8_t bytes[kRecordBytes];
    for (uint8_t& b : bytes) {
        b = ring_[size_t(head_)];
        head_ = (head_ + 1) % kCapacityBytes;
    }
    used_ -= kRecordBytes;
    uint32_t words[3];
    std::memcpy(words, bytes, sizeof words);
    return TNotifyResultRecord{words[0], words[1], words[2]};
}

int TResultQueue::size() const {
    std::lock_guard lock(mutex_);
    return used_ / kRecordBytes;
}

int TResultQueue::dropped() const {
    std::lock_guard lock(mutex_);
    return dropped_;
}

void TResultQueue::install(TResultQueue* queue) {
    std::lock_guard lock(g_installMutex);
    g_installed = queue;
}

void TResultQueue::callback(uint32_t board, uint32_t channel, uint32_t result) {
    std::lock_guard lock(g_installMutex);
    if (g_installed)
        g_installed->push({board, channel, result});
}

}  // namespace orvel
