// CSitDetector: recognises the special information tones with which an
// exchange announces a number that cannot be reached: three tones of about
// 950, 1400 and 1800 Hz, each some 270..400 ms, in that order, with at most
// short gaps between them (the first may be clipped). Judged on the analyzer's 8-ms frames with
// three Goertzel filters; a frame belongs to a tone when that tone carries most of the frame's
// energy and the frame is not too quiet.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orvel {

class CSitDetector {
public:
    static constexpr int kFrameSamples = 64;
    static constexpr double kFrequencies[3] = {950, 1400, 1800};
    static constexpr int kMinToneFrames = 25;  // 200 ms
    // The first tone may be heard clipped, or not at all: the line is
    // switched through to the announcement machine while it already sounds.
    // The two whole tones after it still make the sequence unmistakable.
    static constexpr int kMinFirstToneFrames = 0;
    static constexpr int kMaxToneFrames = 55;  // 440 ms
    static constexpr int kMaxGapFrames = 6;    // 48 ms between the tones

    CSitDetector();
    void reset();
    // One frame of 64 samples; true once, on the frame that completes the
    // third tone of the sequence.
    bool process(const int16_t* frame);
    bool detected() const { return detected_; }

private:
    int classify(const int16_t* frame) const;  // 0..2 a tone, -1 none

    float coef_[3] = {};
    int step_ = 0;  // tone of the sequence expected now (0..2)
    int run_ = 0;   // frames of that tone so far
    int gap_ = 0;   // frames without it since the previous tone ended
    bool detected_ = false;
};

}  // namespace orvel
