#include "board/k24_answer_list.h"

#include <algorithm>

namespace orvel {

void CK24AnswerList::add(uint32_t channel, uint32_t command, uint32_t value) {
    entries_.push_back({channel, command, 0, 0, value});
}

K24PendingEntry* CK24AnswerList::find(uint32_t channel, uint32_t command) {
    auto it = std::find_if(entries_.begin(), entries_.end(), [&](const K24PendingEntry& e) {
        return e.channel == channel && e.command == command;
    });
    return it == entries_.end() ? nullptr : &*it;
}

void CK24AnswerList::remove(const K24PendingEntry* entry) {
    if (entry == nullptr || entries_.empty() || entry < entries_.data() ||
        entry >= entries_.data() + entries_.size()) {
        return;
    }
    entries_.erase(entries_.begin() + (entry - entries_.data()));
}

void CK24AnswerList::tick(std::vector<K24PendingEntry>& expired) {
    auto keep = entries_.begin();
    for (auto& e : entries_) {
        if (e.ticks < kTickLimit) {
            ++e.ticks;
            *keep++ = e;
        } else {
            expired.push_back(e);
        }
    }
    entries_.erase(keep, entries_.end());
}

}  // namespace orvel
