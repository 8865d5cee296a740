#include "board/k24_read_task.h"

#include <ace/Log_Msg.h>
#include <ace/Reactor.h>

#include "board/k24_driver.h"

namespace orvel {

namespace {
constexpr int kInputWaitMs = 1000;
constexpr size_t kInputBufferBytes = 64 * 1024;
}  // namespace

CK24ReadTask::CK24ReadTask(CK24Device* device, ACE_Reactor* reactor)
    : device_(device), input_(kInputBufferBytes) {
    this->reactor(reactor);
    msg_queue()->high_water_mark(kTaskQueueWaterMark);
    msg_queue()->low_water_mark(kTaskQueueWaterMark);
}

int CK24ReadTask::open(void*) {
    stopping_ = false;
    if (device_ != nullptr) {
        device_->start();
    }
    if (reactor() != nullptr) {
        timerId_ = reactor()->schedule_timer(this, nullptr, ACE_Time_Value(1), ACE_Time_Value(1));
    }
    if (timerId_ == -1) {
        ACE_ERROR((LM_EMERGENCY, ACE_TEXT("%p\n"), ACE_TEXT(" CK24ReadTask error shedule timer:")));
    }
    return activate(THR_NEW_LWP | THR_JOINABLE, 1, 0, ACE_DEFAULT_THREAD_PRIORITY, -1);
}

int CK24ReadTask::close(u_long flags) {
    if (flags != kCloseFromModule) {
        return 0;
    }
    if (reactor() != nullptr && timerId_ != -1) {
        reactor()->cancel_timer(this, 1);
        timerId_ = -1;
    }
    stopping_ = true;
    if (device_ != nullptr) {
        device_->stop();  // wakes the thread waiting for input
    }
    wait();
    return 0;
}

int CK24ReadTask::put(ACE_Message_Block* mb, ACE_Time_Value* tv) {
    Task* next = this->next();
    if (isStreamEnd(next)) {
        releaseBlock(mb);
        return 0;
    }
    next->put(mb, tv);
    return 0;
}

int CK24ReadTask::svc() {
    while (!stopping_) {
        if (device_ == nullptr || device_->handle() == nullptr) {
            return 0;
        }
        device_->waitForInput(kInputWaitMs);
        if (stopping_) {
            break;
        }
        // The frame parser comes with the board protocol work; until then
        // the input is drained so that the card never stalls.
        while (device_->handle()->read(input_.data(), input_.size()) > 0) {
        }
    }
    return 0;
}

int CK24ReadTask::handle_timeout(const ACE_Time_Value&, const void*) {
    return 0;
}

}  // namespace orvel
