#include "analysis/music_detector.h"

#include <algorithm>
#include <cmath>

namespace orvel {

void CMusicDetector::reset() {
    *this = CMusicDetector();
}

bool CMusicDetector::similar(const int16_t* a, const int16_t* b) {
    double ab = 0, aa = 0, bb = 0;
    for (int k = kLowBin; k < kHighBin; ++k) {
        ab += static_cast<double>(a[k]) * b[k];
        aa += static_cast<double>(a[k]) * a[k];
        bb += static_cast<double>(b[k]) * b[k];
    }
    return aa > 0 && bb > 0 && ab >= kSteadySimilarity * std::sqrt(aa * bb);
}

void CMusicDetector::heldNote(const int16_t* spectrum) {
    if (noteSet_ && !similar(note_.data(), spectrum)) {
        std::copy_backward(sinceChange_.begin(), sinceChange_.end() - 1, sinceChange_.end());
        sinceChange_[0] = 0;
    }
    std::copy(spectrum, spectrum + kBins, note_.begin());
    noteSet_ = true;
}

void CMusicDetector::endOfStretch() {
    if (recentCount_ >= kSpeechFrames && recentSteady_ * 100 < kSteadyShareSpeech * recentCount_) {
        // Somebody speaks: the notes before do not count any more.
        music_ = false;
        noteSet_ = false;
        sinceChange_.fill(kNever);
    }
}

void CMusicDetector::process(const int16_t* spectrum, bool sound) {
    // The oldest spectrum kept is the one kLagFrames ago.
    auto& before = past_[static_cast<std::size_t>(pastNext_)];
    const bool steady = sound && pastFilled_ == kLagFrames && similar(before.data(), spectrum);
    std::copy(spectrum, spectrum + kBins, before.begin());
    pastNext_ = (pastNext_ + 1) % kLagFrames;
    pastFilled_ = std::min(pastFilled_ + 1, kLagFrames);

    for (int& age : sinceChange_) {
        age = std::min(age + 1, kNever);
    }
    steadyRun_ = steady ? steadyRun_ + 1 : 0;
    if (steadyRun_ == kHeldNoteFrames) {
        heldNote(spectrum);
    }

    const auto s = static_cast<std::size_t>(soundNext_);
    soundCount_ += (sound ? 1 : 0) - soundRing_[s];
    soundRing_[s] = sound ? 1 : 0;
    soundNext_ = (soundNext_ + 1) % kSoundWindowFrames;

    if (sound) {
        quietRun_ = 0;
        const auto r = static_cast<std::size_t>(recentNext_);
        if (recentCount_ == kRecentFrames) {
            recentSteady_ -= recent_[r];
        } else {
            ++recentCount_;
        }
        recent_[r] = steady ? 1 : 0;
        recentSteady_ += recent_[r];
        recentNext_ = (recentNext_ + 1) % kRecentFrames;
        sinceHeldNote_ = steadyRun_ >= kHeldNoteFrames ? 0 : std::min(sinceHeldNote_ + 1, kNever);
        if (recentCount_ == kRecentFrames) {
            endOfStretch();  // a long stretch is judged as it goes
        }
    } else if (++quietRun_ == kPauseFrames) {
        endOfStretch();
        recentCount_ = recentSteady_ = recentNext_ = 0;
        sinceHeldNote_ = kNever;
    }

    if (!music_ && sinceChange_.back() < kChangesWithinFrames &&
        soundCount_ * 100 >= kMinSoundShare * kSoundWindowFrames) {
        music_ = true;
    }
}

bool CMusicDetector::playing() const {
    return music_ && sinceChange_.front() < kFreshFrames && recentCount_ >= kMinRecentFrames &&
           sinceHeldNote_ < kRecentFrames &&
           recentSteady_ * 100 >= kSteadyShareMusic * recentCount_;
}

}  // namespace orvel
