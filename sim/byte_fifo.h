// Bounded first-in first-out byte store of a card's input stream. When the
// reader falls behind, the oldest bytes are lost, as on the card.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace orvel::sim {

class ByteFifo {
public:
    explicit ByteFifo(size_t capacity) : buf_(capacity) {}

    size_t size() const { return size_; }
    size_t capacity() const { return buf_.size(); }
    uint64_t lost() const { return lost_; }
    void clear() { head_ = size_ = 0; }

    void push(const uint8_t* data, size_t n) {
        if (n > buf_.size()) {
            lost_ += n - buf_.size();
            data += n - buf_.size();
            n = buf_.size();
        }
        if (size_ + n > buf_.size()) {
            size_t drop = size_ + n - buf_.size();
            head_ = (head_ + drop) % buf_.size();
            size_ -= drop;
            lost_ += drop;
        }
        size_t tail = (head_ + size_) % buf_.size();
        size_t first = std::min(n, buf_.size() - tail);
        std::memcpy(&buf_[tail], data, first);
        std::memcpy(&buf_[0], data + first, n - first);
        size_ += n;
    }

    size_t pop(uint8_t* out, size_t n) {
        n = std::min(n, size_);
        size_t first = std::min(n, buf_.size() - head_);
        std::memcpy(out, &buf_[head_], first);
        std::memcpy(out + first, &buf_[0], n - first);
        head_ = (head_ + n) % buf_.size();
        size_ -= n;
        return n;
    }

private:
    std::vector<uint8_t> buf_;
    size_t head_ = 0;
    size_t size_ = 0;
    uint64_t lost_ = 0;
};

}  // namespace orvel::sim
