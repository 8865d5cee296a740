#include "media/wave_out_task.h"

namespace orvel {

int CWaveOutTask::put(ACE_Message_Block* mb, ACE_Time_Value* tv) {
    Task* next = this->next();
    if (isStreamEnd(next)) {
        releaseBlock(mb);
        return 0;
    }
    next->put(mb, tv);
    return 0;
}

int CWaveOutTask::startListening(const Address&) {
    return -1;
}

void CWaveOutTask::stopListening() {}

}  // namespace orvel
