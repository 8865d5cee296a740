#include "media/wave_out_task.h"

namespace orvel {

int CWaveOutTask::open(void*) {
    // The sound output is started when a line is first listened to: an
    // engine nobody listens to keeps no audio threads, and a machine without
    // a sound device only loses listening.
    return 0;
}

int CWaveOutTask::startListening(const Address& line) {
    if (!audioStarted_) {
        if (output_.open() != 0) {
            output_.close();
            return -1;
        }
        audioStarted_ = true;
    }
    return output_.startListening(line);
}

int CWaveOutTask::close(u_long flags) {
    if (flags == kCloseFromModule && audioStarted_) {
        output_.close();
        audioStarted_ = false;
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
