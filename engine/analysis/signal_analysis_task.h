// The "DspModule" down-side task: hands every block that passes to the
// analyzer of the channel it names.
//
// Passive task: works inside put() on a board's receive thread (or on the
// thread that sends an acknowledgement down). It consumes read records
// (releases them after analysis) and passes every other block on; what the
// analyzers hear goes on to the logic task as events, sent after every lock
// here is released so that a full logic queue never holds up a thread that
// the logic thread waits for.
#pragma once

#include <ace/Recursive_Thread_Mutex.h>

#include <cstdint>
#include <map>
#include <vector>

#include "analysis/signal_processing.h"
#include "task_base.h"

namespace orvel {

class CSignalAnalysisTask : public Task {
public:
    int put(ACE_Message_Block* mb, ACE_Time_Value* tv = nullptr) override;
    // For flags 1 stops every analyzer.
    int close(u_long flags = 0) override;

    bool AddDevice(uint32_t device, uint32_t channelCount);
    CRawAnalyzer* RegisterAnalyzer(const Address& address, CRawAnalyzer* analyzer);

private:
    CRawAnalyzer* find(const ACE_Message_Block* mb);

    ACE_Recursive_Thread_Mutex lock_;
    std::map<uint32_t, std::vector<CRawAnalyzer*>> table_;
};

}  // namespace orvel
