#include "board/orvel_write_task.h"

#include <ace/Log_Msg.h>

#include "board/k24_driver.h"

namespace orvel {

namespace {
constexpr int kOutputWaitMs = 1000;
}

COrvelWriteTask::COrvelWriteTask(CK24Device* device, ACE_Reactor* reactor) : device_(device) {
    this->reactor(reactor);
    msg_queue()->high_water_mark(kTaskQueueWaterMark);
    msg_queue()->low_water_mark(kTaskQueueWaterMark);
}

int COrvelWriteTask::open(void*) {
    stopping_ = false;
    return activate(THR_NEW_LWP | THR_JOINABLE, 1, 0, ACE_DEFAULT_THREAD_PRIORITY, -1);
}

int COrvelWriteTask::close(u_long flags) {
    if (flags != kCloseFromModule) {
        return 0;
    }
    stopping_ = true;
    if (device_ != nullptr) {
        device_->wakeOutput();
    }
    wait();
    return 0;
}

int COrvelWriteTask::put(ACE_Message_Block* mb, ACE_Time_Value* tv) {
    if (mb == nullptr) {
        return 0;
    }
    CommandRecord cmd;
    if (mb->msg_type() == MB_IOCTL && readRecord(mb, cmd) && device_ != nullptr &&
        cmd.address.device == device_->deviceNumber()) {
        handleCommand(mb);
        return 0;
    }
    Task* next = this->next();
    if (isStreamEnd(next)) {
        if (mb->msg_type() == MB_IOCTL) {
            answerInvalidAddress(this, mb);
        }
        releaseBlock(mb);
        return 0;
    }
    next->put(mb, tv);
    return 0;
}

int COrvelWriteTask::handleCommand(ACE_Message_Block* mb) {
    CommandRecord cmd;
    readRecord(mb, cmd);
    releaseBlock(mb);
    // Commands are carried out once the board's transmit side exists; until
    // then each is refused so that no algorithm waits for an answer.
    ACE_Message_Block* ack =
        makeAckBlock(cmd.address, ACKT_RECEIVE, ACKS_UNDEFINE_CMD_TYPE, cmd.code);
    if (ack == nullptr) {
        return -1;
    }
    return sendDown(this, ack);
}

int COrvelWriteTask::svc() {
    while (!stopping_) {
        if (device_ == nullptr) {
            return 0;
        }
        device_->waitForOutput(kOutputWaitMs);
    }
    return 0;
}

int COrvelWriteTask::loadSound(const char*, int) {
    return -1;
}

}  // namespace orvel
