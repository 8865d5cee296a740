// Unit commands that wait for their unit's answer: what was sent to which
// channel, how often, and how many acknowledge-timeout ticks have passed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace orvel {

struct K24PendingEntry {
    uint32_t channel = 0;
    uint32_t command = 0;
    uint32_t ticks = 0;  // timeout ticks (one a second) seen so far
    uint32_t sends = 0;  // resends after a differing answer
    uint32_t value = 0;  // value sent
};

class CK24AnswerList {
public:
    // Ticks an entry survives: dropped on the fourth tick, 3 to 4 s after sending.
    static constexpr uint32_t kTickLimit = 3;

    void add(uint32_t channel, uint32_t command, uint32_t value);
    // The oldest entry for (channel, command), or null.
    K24PendingEntry* find(uint32_t channel, uint32_t command);
    void remove(const K24PendingEntry* entry);
    // Ages every entry by one tick and moves those past the limit to
    // `expired`, oldest first: each one is a command of its own that timed out.
    void tick(std::vector<K24PendingEntry>& expired);
    size_t size() const { return entries_.size(); }
    void clear() { entries_.clear(); }

private:
    std::vector<K24PendingEntry> entries_;
};

}  // namespace orvel
