#include "analysis/signal_analysis_task.h"

#include <ace/Guard_T.h>

#include <cstring>

namespace orvel {

using Guard = ACE_Guard<ACE_Recursive_Thread_Mutex>;

bool CSignalAnalysisTask::AddDevice(uint32_t device, uint32_t channelCount) {
    Guard guard(lock_);
    if (table_.count(device) != 0) {
        return true;
    }
    return table_.emplace(device, std::vector<CRawAnalyzer*>(channelCount, nullptr)).second;
}

CRawAnalyzer* CSignalAnalysisTask::RegisterAnalyzer(const Address& address,
                                                    CRawAnalyzer* analyzer) {
    Guard guard(lock_);
    auto it = table_.find(address.device);
    if (it == table_.end() || address.channel >= it->second.size()) {
        return nullptr;
    }
    CRawAnalyzer* previous = it->second[address.channel];
    if (previous != nullptr) {
        previous->initialise(address, nullptr);
    }
    it->second[address.channel] = analyzer;
    if (analyzer != nullptr) {
        analyzer->initialise(address, this);
    }
    return previous;
}

int CSignalAnalysisTask::put(ACE_Message_Block* mb, ACE_Time_Value* tv) {
    if (mb == nullptr) {
        return -1;
    }
    {
        Guard guard(lock_);
        if (mb->length() >= 3 * sizeof(uint32_t)) {
            uint32_t words[3];
            std::memcpy(words, mb->rd_ptr(), sizeof words);
            auto it = table_.find(words[1]);
            if (it != table_.end() && words[2] < it->second.size() &&
                it->second[words[2]] != nullptr) {
                it->second[words[2]]->process(mb);
            }
        }
    }
    if (mb->msg_type() == MB_READ) {
        releaseBlock(mb);
        return 0;
    }
    Task* next = this->next();
    if (isStreamEnd(next)) {
        releaseBlock(mb);
        return -1;
    }
    return next->put(mb, tv);
}

}  // namespace orvel
