// CK24ReadTask: the receive side of one board ("DeviceModule"+d, down side).
//
// Active task: its thread starts the board, waits for the board's input and
// turns it into read records, acknowledgements and events sent down the
// stream. A reactor timer checks the units' acknowledge timeouts once a
// second. put() only passes on what comes from above (the traffic of higher
// boards); blocks are consumed as everywhere in the engine.
#pragma once

#include <atomic>
#include <vector>

#include "task_base.h"

class ACE_Reactor;

namespace orvel {

class CK24Device;

class CK24ReadTask : public Task {
public:
    CK24ReadTask(CK24Device* device, ACE_Reactor* reactor);

    int open(void* args = nullptr) override;
    int close(u_long flags = 0) override;
    int put(ACE_Message_Block* mb, ACE_Time_Value* tv = nullptr) override;
    int svc() override;
    int handle_timeout(const ACE_Time_Value& now, const void* arg) override;

private:
    CK24Device* device_;
    long timerId_ = -1;
    std::atomic<bool> stopping_{false};
    std::vector<unsigned char> input_;
};

}  // namespace orvel
