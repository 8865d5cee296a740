// CK24Treshold: the "TresholdModule" down-side task. It learns each line's
// voltages, reports line ready, busy and drop, and keeps the line-interface
// units' thresholds up to date.
//
// Passive task: works inside put() on a board's receive thread (or on the
// thread that sends an acknowledgement down) and passes on every block it
// does not consume. Blocks are consumed as everywhere in the engine.
#pragma once

#include <ace/Recursive_Thread_Mutex.h>

#include <cstdint>
#include <map>
#include <vector>

#include "task_base.h"

namespace orvel {

class CK24Device;

class CK24Treshold : public Task {
public:
    CK24Treshold();

    int put(ACE_Message_Block* mb, ACE_Time_Value* tv = nullptr) override;

    void AddDevice(uint32_t device, uint32_t channelCount, CK24Device* board);
    void PrepareDevice(uint32_t device);

    int setLineType(uint32_t device, uint32_t channel, uint32_t value);
    int getLineType(uint32_t device, uint32_t channel, uint32_t& value) const;
    int setLineDropMode(uint32_t device, uint32_t channel, uint32_t value);
    int getLineDropMode(uint32_t device, uint32_t channel, uint32_t& value) const;

private:
    struct Channel {
        uint32_t lineType = 0;
        uint32_t dropMode = 0;
    };
    struct Board {
        CK24Device* device = nullptr;
        std::vector<Channel> channels;
    };
    Channel* find(uint32_t device, uint32_t channel);
    const Channel* find(uint32_t device, uint32_t channel) const;

    mutable ACE_Recursive_Thread_Mutex lock_;
    std::map<uint32_t, Board> boards_;
};

}  // namespace orvel
