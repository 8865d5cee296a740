#pragma once
// What a long-running process holds: resident memory, open descriptors and
// threads, read from /proc/self.

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
};

TProcessFigures sampleProcess();
std::string describe(const TProcessFigures& f);

}  // namespace orvel::soak
