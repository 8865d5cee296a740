#pragma once
// The threads that move the boards' sound in and out hold a deadline of a
// few tens of milliseconds (the card keeps 32 ms of output): on a busy
// machine they must not wait behind every other runnable thread, or a dialled
// tone breaks up and the exchange hears another number. The logic thread
// takes the same weight: the board threads wait for room in its queue.

namespace orvel {

// How much nicer than normal the board threads ask to be (negative: less nice).
inline constexpr int kBoardThreadNice = -10;

// Raises the calling thread's scheduling weight to kBoardThreadNice. Without
// the right to do so (no CAP_SYS_NICE, RLIMIT_NICE too low) it stays as it
// is and says so once in the log. True when raised.
bool raiseBoardThreadPriority(const char* who);

}  // namespace orvel
