// The abstract per-channel algorithm driven by the logic task: it receives
// acknowledgements and events, runs its timeouts on the task's timer and
// sends its commands up the stream through the task.
#pragma once

#include <cstdint>

#include "messages.h"

class ACE_Time_Value;

namespace orvel {

class OrvelLogicProcessing;

class CProcessingAlgorithm {
public:
    virtual ~CProcessingAlgorithm() = default;

    virtual int Start() = 0;
    virtual int Stop() = 0;
    virtual uint32_t GetState() const = 0;
    virtual int GetLastError() const { return lastError_; }
    // Handles one acknowledgement or event; the caller keeps and releases the block.
    virtual int DoAlgorithm(const ACE_Message_Block* mb) = 0;
    virtual int CheckTimeOut(const ACE_Time_Value& now, const void* arg) = 0;
    virtual void SetTask(OrvelLogicProcessing* task) {
        if (task != nullptr) {
            task_ = task;
        }
    }
    // Unlike SetTask, lets the logic task detach an algorithm it replaces.
    void DetachTask() { task_ = nullptr; }
    virtual void SetAddress(const Address& address) { address_ = address; }

    const Address& address() const { return address_; }

    // Builds a command record for this channel and sends it up the stream
    // through the owning task. -1 when no block can be made or the send
    // fails; a failed send also logs and sets last error 6.
    int SendCommand(uint32_t code, uint32_t a1 = 0, uint32_t a2 = 0, uint32_t a3 = 0);

protected:
    OrvelLogicProcessing* task_ = nullptr;
    Address address_;
    int lastError_ = 0;
};

}  // namespace orvel
