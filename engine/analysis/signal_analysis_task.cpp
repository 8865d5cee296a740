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

CRawAnalyzer* CSignalAnalysisTask::find(const ACE_Message_Block* mb) {
    if (mb->length() < 3 * sizeof(uint32_t)) {
        return nullptr;
    }
    uint32_t words[3];
    std::memcpy(words, mb->rd_ptr(), sizeof words);
    Guard guard(lock_);
    auto it = table_.find(words[1]);
    if (it == table_.end() || words[2] >= it->second.size()) {
        return nullptr;
    }
    return it->second[words[2]];
}

int CSignalAnalysisTask::put(ACE_Message_Block* mb, ACE_Time_Value* tv) {
    if (mb == nullptr) {
        return -1;
    }
    // The table only changes while the stream is built; each analyzer
    // serialises its own work, so boards do not wait for each other here.
    if (CRawAnalyzer* analyzer = find(mb)) {
        AnalyzerEvents events;
        analyzer->process(mb, events);
        analyzer->send(events);
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

int CSignalAnalysisTask::close(u_long flags) {
    if (flags == kCloseFromModule) {
        Guard guard(lock_);
        for (auto& [device, analyzers] : table_) {
            for (CRawAnalyzer* analyzer : analyzers) {
                if (analyzer != nullptr) {
                    analyzer->stop();
                }
            }
        }
    }
    return 0;
}

}  // namespace orvel
