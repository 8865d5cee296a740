#include "task_base.h"

#include <ace/Log_Msg.h>
#include <ace/OS_NS_string.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace orvel {

namespace {
std::mutex g_gateMutex;
std::condition_variable g_gateChanged;
bool g_gateOpen = true;
}  // namespace

void StreamGate::close() {
    std::lock_guard<std::mutex> lock(g_gateMutex);
    g_gateOpen = false;
}

void StreamGate::open() {
    {
        std::lock_guard<std::mutex> lock(g_gateMutex);
        g_gateOpen = true;
    }
    g_gateChanged.notify_all();
}

bool StreamGate::waitOpen(const std::atomic<bool>& stop) {
    std::unique_lock<std::mutex> lock(g_gateMutex);
    while (!g_gateOpen) {
        if (stop) {
            return false;
        }
        g_gateChanged.wait_for(lock, std::chrono::milliseconds(20));
    }
    return !stop;
}

bool isStreamEnd(const Task* next) {
    if (next == nullptr) {
        return true;
    }
    const Module* module = const_cast<Task*>(next)->module();
    if (module == nullptr) {
        return false;
    }
    const ACE_TCHAR* name = module->name();
    return name != nullptr && (ACE_OS::strcmp(name, ACE_TEXT("ACE_Stream_Head")) == 0 ||
                               ACE_OS::strcmp(name, ACE_TEXT("ACE_Stream_Tail")) == 0);
}

int passOn(Task* from, ACE_Message_Block* mb) {
    Task* next = from->next();
    if (isStreamEnd(next)) {
        releaseBlock(mb);
        return -1;
    }
    return next->put(mb, nullptr);
}

int sendDown(Task* upSide, ACE_Message_Block* mb) {
    Task* down = upSide->sibling();
    if (down == nullptr) {
        releaseBlock(mb);
        return -1;
    }
    return passOn(down, mb);
}

void answerInvalidAddress(Task* upSide, const ACE_Message_Block* command) {
    CommandRecord cmd;
    if (!readRecord(command, cmd)) {
        return;
    }
    ACE_Message_Block* ack = makeAckBlock(cmd.address, ACKT_RECEIVE, ACKS_INVALID_ADDR, 0);
    if (ack != nullptr) {
        sendDown(upSide, ack);
    }
}

int CPassThroughTask::put(ACE_Message_Block* mb, ACE_Time_Value* tv) {
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

}  // namespace orvel
