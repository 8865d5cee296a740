// COutputGapWatch: whether a card's output ran dry between two writes.
//
// The card plays its output frames at a fixed rate and keeps only a few tens
// of milliseconds of them. When the transmit thread comes late, the card runs
// dry and plays silence until the next write: a tone digit cut in two that
// way reaches the exchange as two digits, and the call goes to another
// number. The card says nothing about it, so the watch works it out on the
// system clock: after a write the card holds at least what it took (when it
// refused part of it, it is full: it holds its capacity), less what it can
// have played since the earliest moment of that write. Whatever it can have
// played beyond that was silence.
//
// The capacity is what a card that had nothing to play for a second takes
// before it refuses more: it was empty then. It is never learnt from full
// writes in between, which only give a lower bound that the clock's jitter
// and a card that plays in bursts would push up write after write, until
// gaps went unseen.
//
// Every estimate errs on the side of a gap: a gap that was not there costs
// a redial, a gap that was missed can cost a wrong number. Gaps shorter than
// kMarginFrames are not reported: an exchange bridges such breaks in a digit.
// Plain state, no lock: the transmit task guards it with its own.
#pragma once

#include <cstdint>

namespace orvel {

class COutputGapWatch {
public:
    static constexpr double kFramesPerSecond = 16000;
    static constexpr double kMarginFrames = 80;  // 5 ms
    static constexpr double kIdleSeconds = 1.0;  // without writes: the card is empty

    // One write to the card: the system clock in seconds just before and
    // just after it, the frames offered and the frames the card took.
    // Returns the frames of silence the card may have played since the
    // previous write (0: none beyond the margin).
    uint32_t written(double beforeS, double afterS, uint32_t offered, uint32_t taken);
    void reset();

private:
    bool known_ = false;
    double lastBeforeS_ = 0;  // the earliest moment of the last write
    double held_ = 0;         // frames the card held at least after the last write
    double capacity_ = 0;     // frames an empty card took before it was full; 0: not seen
};

}  // namespace orvel
