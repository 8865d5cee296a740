#include "analysis/played_tones.h"

#include <cmath>

#include "media/tone_map.h"

namespace orvel {

void CPlayedTones::reset() {
    entries_.fill(Entry{});
    count_ = 0;
    frame_ = 0;
}

void CPlayedTones::advance(uint64_t word) {
    ++frame_;
    // Forget what is older than the hold time.
    int kept = 0;
    for (int i = 0; i < count_; ++i) {
        if (frame_ - entries_[static_cast<std::size_t>(i)].frame <= kHoldFrames) {
            entries_[static_cast<std::size_t>(kept++)] = entries_[static_cast<std::size_t>(i)];
        }
    }
    count_ = kept;
    for (int i = 0; i < tone_word::kPlaces; ++i) {
        const double hz = tone_word::at(word, i);
        if (hz > 0) {
            note(hz);
        }
    }
}

void CPlayedTones::note(double hz) {
    int oldest = 0;
    for (int i = 0; i < count_; ++i) {
        Entry& e = entries_[static_cast<std::size_t>(i)];
        if (std::abs(e.hz - hz) <= kSameToneHz) {
            e = {hz, frame_};
            return;
        }
        if (e.frame < entries_[static_cast<std::size_t>(oldest)].frame) {
            oldest = i;
        }
    }
    if (count_ < kCapacity) {
        entries_[static_cast<std::size_t>(count_++)] = {hz, frame_};
    } else {
        entries_[static_cast<std::size_t>(oldest)] = {hz, frame_};
    }
}

bool CPlayedTones::near(double hz, double toleranceHz) const {
    for (int i = 0; i < count_; ++i) {
        if (std::abs(entries_[static_cast<std::size_t>(i)].hz - hz) <= toleranceHz) {
            return true;
        }
    }
    return false;
}

}  // namespace orvel
