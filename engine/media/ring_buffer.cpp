#include "media/ring_buffer.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace orvel {

bool CRingBuffer::Init(uint32_t elementSize, uint32_t capacity) {
    Release();
    if (elementSize == 0 || capacity == 0 || capacity >= (1u << 28) / elementSize) {
        return false;
    }
    const std::size_t bytes = std::size_t{capacity + 1} * elementSize;
    storage_.reset(new (std::nothrow) uint8_t[bytes]());
    if (!storage_) {
        return false;
    }
    elementSize_ = elementSize;
    slots_ = capacity + 1;
    return true;
}

void CRingBuffer::Release() {
    storage_.reset();
    elementSize_ = 0;
    read_ = write_ = 0;
    slots_ = 0;
}

uint32_t CRingBuffer::AvailableRead() const {
    if (read_ == write_) {
        return 0;
    }
    return read_ < write_ ? write_ - read_ : slots_ - read_ + write_;
}

uint32_t CRingBuffer::AvailableWrite() const {
    if (!storage_) {
        return 0;
    }
    return read_ <= write_ ? slots_ - write_ + read_ - 1 : read_ - write_ - 1;
}

uint32_t CRingBuffer::Write(const void* source, uint32_t count) {
    if (!storage_ || source == nullptr) {
        return 0;
    }
    const uint32_t moved = std::min(count, AvailableWrite());
    const auto* src = static_cast<const uint8_t*>(source);
    const uint32_t first = std::min(moved, slots_ - write_);
    std::memcpy(storage_.get() + std::size_t{write_} * elementSize_, src,
                std::size_t{first} * elementSize_);
    write_ += first;
    if (write_ == slots_) {
        write_ = 0;
    }
    const uint32_t rest = moved - first;
    if (rest > 0) {
        std::memcpy(storage_.get(), src + std::size_t{first} * elementSize_,
                    std::size_t{rest} * elementSize_);
        write_ = rest;
    }
    return moved;
}

uint32_t CRingBuffer::Read(void* destination, uint32_t count) {
    if (!storage_ || destination == nullptr || IsEmpty()) {
        return 0;
    }
    const uint32_t moved = std::min(count, AvailableRead());
    auto* dst = static_cast<uint8_t*>(destination);
    const uint32_t first = std::min(moved, slots_ - read_);
    std::memcpy(dst, storage_.get() + std::size_t{read_} * elementSize_,
                std::size_t{first} * elementSize_);
    read_ += first;
    if (read_ == slots_) {
        read_ = 0;
    }
    const uint32_t rest = moved - first;
    if (rest > 0) {
        std::memcpy(dst + std::size_t{first} * elementSize_, storage_.get(),
                    std::size_t{rest} * elementSize_);
        read_ = rest;
    }
    return moved;
}

}  // namespace orvel
