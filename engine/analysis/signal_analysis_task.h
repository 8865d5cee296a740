// The "DspModule" down-side task: hands every block that passes to the
// analyzer of the channel it names.
//
// Passive task: works inside put() on a board's receive thread. It consumes
// read records (releases them after analysis) and passes every other block
// on. Blocks are consumed as everywhere in the engine.
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

    bool AddDevice(uint32_t device, uint32_t channelCount);
    CRawAnalyzer* RegisterAnalyzer(const Address& address, CRawAnalyzer* analyzer);

private:
    ACE_Recursive_Thread_Mutex lock_;
    std::map<uint32_t, std::vector<CRawAnalyzer*>> table_;
};

}  // namespace orvel
