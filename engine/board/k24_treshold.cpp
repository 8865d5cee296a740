#include "board/k24_treshold.h"

#include <ace/Guard_T.h>
#include <ace/Log_Msg.h>

namespace orvel {

using Guard = ACE_Guard<ACE_Recursive_Thread_Mutex>;

CK24Treshold::CK24Treshold() {
    msg_queue()->high_water_mark(kTaskQueueWaterMark);
    msg_queue()->low_water_mark(kTaskQueueWaterMark);
}

int CK24Treshold::put(ACE_Message_Block* mb, ACE_Time_Value* tv) {
    Task* next = this->next();
    if (isStreamEnd(next)) {
        releaseBlock(mb);
        return 0;
    }
    next->put(mb, tv);
    return 0;
}

void CK24Treshold::AddDevice(uint32_t device, uint32_t channelCount, CK24Device* board) {
    Guard guard(lock_);
    Board& b = boards_[device];
    b.device = board;
    b.channels.assign(channelCount, Channel{});
    ACE_DEBUG(
        (LM_DEBUG, ACE_TEXT(" Add device number %d with %d channels\n"), device + 1, channelCount));
}

void CK24Treshold::PrepareDevice(uint32_t) {}

CK24Treshold::Channel* CK24Treshold::find(uint32_t device, uint32_t channel) {
    auto it = boards_.find(device);
    if (it == boards_.end() || channel >= it->second.channels.size()) {
        return nullptr;
    }
    return &it->second.channels[channel];
}

const CK24Treshold::Channel* CK24Treshold::find(uint32_t device, uint32_t channel) const {
    return const_cast<CK24Treshold*>(this)->find(device, channel);
}

int CK24Treshold::setLineType(uint32_t device, uint32_t channel, uint32_t value) {
    Guard guard(lock_);
    Channel* c = find(device, channel);
    if (c == nullptr) {
        return -1;
    }
    c->lineType = value;
    return 0;
}

int CK24Treshold::getLineType(uint32_t device, uint32_t channel, uint32_t& value) const {
    Guard guard(lock_);
    const Channel* c = find(device, channel);
    if (c == nullptr) {
        return -1;
    }
    value = c->lineType;
    return 0;
}

int CK24Treshold::setLineDropMode(uint32_t device, uint32_t channel, uint32_t value) {
    Guard guard(lock_);
    Channel* c = find(device, channel);
    if (c == nullptr) {
        return -1;
    }
    c->dropMode = value;
    return 0;
}

int CK24Treshold::getLineDropMode(uint32_t device, uint32_t channel, uint32_t& value) const {
    Guard guard(lock_);
    const Channel* c = find(device, channel);
    if (c == nullptr) {
        return -1;
    }
    value = c->dropMode;
    return 0;
}

}  // namespace orvel
