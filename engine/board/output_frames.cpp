#include "board/output_frames.h"

#include <algorithm>
#include <cstring>

namespace orvel {

COutputFrames::COutputFrames() : bytes_(kCapacity * kFrameBytes, 0), counts_(kCapacity, 0) {}

void COutputFrames::clear() {
    std::fill(bytes_.begin(), bytes_.end(), 0);
    std::fill(counts_.begin(), counts_.end(), 0);
    fill_.fill(0);
    active_.fill(false);
    activeCount_ = 0;
    ready_ = 0;
}

void COutputFrames::activate(uint32_t slot) {
    if (slot < kSlots && !active_[slot]) {
        active_[slot] = true;
        ++activeCount_;
    }
}

void COutputFrames::deactivate(uint32_t slot) {
    if (slot < kSlots && active_[slot]) {
        active_[slot] = false;
        --activeCount_;
        advanceReady();
    }
}

void COutputFrames::advanceReady() {
    // Only frames somebody wrote into: empty ones would only delay the card.
    while (ready_ < kCapacity && counts_[ready_] > 0 && counts_[ready_] >= activeCount_) {
        ++ready_;
    }
}

size_t COutputFrames::write(uint32_t slot, const int16_t* samples, size_t count) {
    if (slot >= kSlots) {
        return 0;
    }
    uint32_t& pos = fill_[slot];
    size_t written = 0;
    while (written < count && pos < kCapacity) {
        const int16_t s = samples != nullptr ? samples[written] : 0;
        uint8_t* p = &bytes_[pos * kFrameBytes + slot * sizeof(int16_t)];
        p[0] = static_cast<uint8_t>(s & 0xFF);
        p[1] = static_cast<uint8_t>((s >> 8) & 0xFF);
        ++counts_[pos];
        ++pos;
        ++written;
    }
    advanceReady();
    return written;
}

void COutputFrames::setFillPosition(uint32_t slot, uint32_t position) {
    if (slot < kSlots) {
        fill_[slot] = std::min(position, kCapacity);
    }
}

uint32_t COutputFrames::used() const {
    uint32_t u = ready_;
    for (uint32_t f : fill_) {
        u = std::max(u, f);
    }
    return u;
}

void COutputFrames::consumed(uint32_t frames) {
    frames = std::min(frames, ready_);
    if (frames == 0) {
        return;
    }
    const uint32_t inUse = used();
    const uint32_t keep = inUse - frames;
    std::memmove(bytes_.data(), bytes_.data() + frames * kFrameBytes, keep * kFrameBytes);
    std::memset(bytes_.data() + keep * kFrameBytes, 0, frames * kFrameBytes);
    std::copy(counts_.begin() + frames, counts_.begin() + inUse, counts_.begin());
    std::fill(counts_.begin() + keep, counts_.begin() + inUse, 0);
    for (uint32_t& f : fill_) {
        f = f > frames ? f - frames : 0;
    }
    ready_ -= frames;
    advanceReady();
}

int16_t COutputFrames::sample(uint32_t frame, uint32_t slot) const {
    if (frame >= kCapacity || slot >= kSlots) {
        return 0;
    }
    const uint8_t* p = &bytes_[frame * kFrameBytes + slot * sizeof(int16_t)];
    return static_cast<int16_t>(p[0] | (p[1] << 8));
}

}  // namespace orvel
