// CRingBuffer: a FIFO of fixed-size elements with one slot always kept free,
// so equal indexes mean empty. It has no lock of its own: the audio FIFO is
// guarded by the audio library's lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace orvel {

class CRingBuffer {
public:
    // Releases owned storage, allocates capacity + 1 zeroed slots. False when
    // memory runs out (the buffer then has no storage).
    bool Init(uint32_t elementSize, uint32_t capacity);
    void Release();

    uint32_t Write(const void* source, uint32_t count);
    uint32_t Read(void* destination, uint32_t count);
    uint32_t AvailableRead() const;
    uint32_t AvailableWrite() const;
    bool IsEmpty() const { return read_ == write_; }
    bool HasStorage() const { return storage_ != nullptr; }
    uint32_t Slots() const { return slots_; }

private:
    std::unique_ptr<uint8_t[]> storage_;
    uint32_t elementSize_ = 0;
    uint32_t read_ = 0;
    uint32_t write_ = 0;
    uint32_t slots_ = 0;
};

}  // namespace orvel
