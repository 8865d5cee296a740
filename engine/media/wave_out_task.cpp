#include "media/wave_out_task.h"

namespace orvel {

int CWaveOutTask::open(void*) {
    // Without a sound device only listening fails; the engine carries on.
    output_.open();
    return 0;
}

int CWaveOutTask::close(u_long flags) {
    if (flags == kCloseFromModule) {
        output_.close();
    }
    return 0;
}

int CWaveOutTask::put(ACE_Message_Block* mb, ACE_Time_Value* tv) {
    ReadRecord record;
    if (readRecord(mb, record)) {
        output_.onRead(record);
    }
    Task* next = this->next();
    if (isStreamEnd(next)) {
        releaseBlock(mb);
        return 0;
    }
    next->put(mb, tv);
    return 0;
}

}  // namespace orvel
