// COrvelWriteTask: the transmit side of one board ("DeviceModule"+d, up side).
//
// Active task: its thread feeds the board's output stream. put() runs on the
// sender's thread: a command for this board is handled here and answered
// down the stream through the sibling's next; a command for another board
// goes on up, and the top board answers ACKS_INVALID_ADDR itself (above it
// is only the stream head, which would keep the block unread). Blocks are
// consumed as everywhere in the engine.
#pragma once

#include <atomic>

#include "task_base.h"

class ACE_Reactor;

namespace orvel {

class CK24Device;

class COrvelWriteTask : public Task {
public:
    COrvelWriteTask(CK24Device* device, ACE_Reactor* reactor);

    int open(void* args = nullptr) override;
    int close(u_long flags = 0) override;
    int put(ACE_Message_Block* mb, ACE_Time_Value* tv = nullptr) override;
    int svc() override;

    // Loads a message file under a message number for playing; -1 when the
    // file cannot be used.
    int loadSound(const char* path, int messageNumber);

private:
    int handleCommand(ACE_Message_Block* mb);

    CK24Device* device_;
    std::atomic<bool> stopping_{false};
};

}  // namespace orvel
