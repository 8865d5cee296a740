// The "WaveOutModule" down-side task: lets the operator listen to one line.
//
// Passive task: works inside put() on the sender's thread (a board's receive
// thread) and passes every block on; it only looks at the samples of the
// listened channel. Blocks are consumed as everywhere in the engine.
#pragma once

#include <atomic>
#include <cstdint>

#include "task_base.h"

namespace orvel {

class CWaveOutTask : public Task {
public:
    int put(ACE_Message_Block* mb, ACE_Time_Value* tv = nullptr) override;

    void setInputRate(uint32_t rate) { inputRate_ = rate; }
    // -1 while no audio output exists on this machine.
    int startListening(const Address& line);
    void stopListening();

private:
    std::atomic<uint32_t> inputRate_{8000};
};

}  // namespace orvel
