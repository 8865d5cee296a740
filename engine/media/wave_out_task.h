// The "WaveOutModule" down-side task: lets the operator listen to one line.
//
// Passive task: works inside put() on the sender's thread (a board's receive
// thread): it copies the samples of the listened line to the sound output
// and passes every block on. Blocks are consumed as everywhere in the engine.
#pragma once

#include <atomic>
#include <cstdint>

#include "media/listen_output.h"
#include "task_base.h"

namespace orvel {

class CWaveOutTask : public Task {
public:
    int open(void* args = nullptr) override;
    int close(u_long flags = 0) override;
    int put(ACE_Message_Block* mb, ACE_Time_Value* tv = nullptr) override;

    void setInputRate(uint32_t rate) { output_.setInputRate(rate); }
    // -1 when the machine has no sound output or the output cannot open.
    int startListening(const Address& line);
    void stopListening() { output_.stopListening(); }

private:
    CListenOutput output_;
    // Touched only on callers' threads (ListenLine, FreeLine, ShutdownDll),
    // which the engine's lifecycle lock keeps from overlapping with close.
    std::atomic<bool> audioStarted_{false};
};

}  // namespace orvel
