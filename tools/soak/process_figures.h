#pragma once
// What a long-running process holds: resident memory, open descriptors and
// threads, read from /proc/self; and what it has used: processor time, with
// the machine's load beside it.

#include <chrono>
#include <string>

namespace orvel::soak {

struct TProcessFigures {
    long residentKb = 0;
    // Resident once the allocator has given its free memory back: freed
    // blocks it keeps for reuse are not a leak, and hide one in residentKb.
    long trimmedResidentKb = 0;
    long heapInUseKb = 0;  // what the allocator has handed out and not had back
    int descriptors = 0;
    int threads = 0;
    std::string threadNames;  // each thread's name, sorted, to tell which one stayed
    double userSeconds = 0;  // processor time of the whole process so far
    double systemSeconds = 0;
    double loadAverage[3] = {0, 0, 0};  // the machine's, over 1, 5 and 15 minutes
};

TProcessFigures sampleProcess();

// The process's threads now, and a wait of at most `limit` until they are no
// more than `count`.
int threadCount();
void waitForThreads(int count, std::chrono::milliseconds limit);
std::string describe(const TProcessFigures& f);

// Copies /proc/self/smaps to DIR/run-N.smaps and the allocator's report to
// DIR/run-N.malloc.xml, to tell apart afterwards which mapping grew.
void keepMemoryMaps(const std::string& dir, int run);

}  // namespace orvel::soak
