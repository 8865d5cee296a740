#include "call/logic_processing.h"

#include <ace/Guard_T.h>
#include <ace/Log_Msg.h>
#include <ace/Reactor.h>
#include <ace/Thread.h>

#include <pthread.h>
#include <cstring>
#include <exception>

#include "board/thread_priority.h"

namespace orvel {

namespace {
thread_local int t_logicLockDepth = 0;
}

using Guard = OrvelLogicProcessing::LockGuard;

OrvelLogicProcessing::LockGuard::LockGuard(OrvelLogicProcessing& task) : task_(task) {
    task_.lock_.acquire();
    ++t_logicLockDepth;
}

OrvelLogicProcessing::LockGuard::~LockGuard() {
    --t_logicLockDepth;
    task_.lock_.release();
}

bool OrvelLogicProcessing::heldByThisThread() {
    return t_logicLockDepth > 0;
}

OrvelLogicProcessing::OrvelLogicProcessing(ACE_Reactor* reactor) {
    this->reactor(reactor);
}

OrvelLogicProcessing::~OrvelLogicProcessing() {
    Guard guard(*this);
    table_.clear();
    std::lock_guard<std::mutex> backlogGuard(backlogMutex_);
    for (ACE_Message_Block* mb : backlog_) {
        releaseBlock(mb);
    }
    backlog_.clear();
}

bool OrvelLogicProcessing::AddDevice(uint32_t device, uint32_t channelCount) {
    Guard guard(*this);
    if (table_.count(device) != 0) {
        return true;
    }
    return table_.emplace(device, std::vector<CProcessingAlgorithm*>(channelCount, nullptr)).second;
}

CProcessingAlgorithm* OrvelLogicProcessing::RegisterAlgorithm(const Address& address,
                                                              CProcessingAlgorithm* algorithm) {
    Guard guard(*this);
    auto it = table_.find(address.device);
    if (it == table_.end() || address.channel >= it->second.size()) {
        return nullptr;
    }
    CProcessingAlgorithm*& slot = it->second[address.channel];
    CProcessingAlgorithm* previous = slot;
    if (previous != nullptr) {
        previous->Stop();
        previous->DetachTask();
    }
    slot = algorithm;
    if (algorithm != nullptr) {
        algorithm->SetTask(this);
        algorithm->SetAddress(address);
    }
    return previous;
}

int OrvelLogicProcessing::StartAlgorithm(const Address& address) {
    Guard guard(*this);
    auto it = table_.find(address.device);
    if (it == table_.end() || address.channel >= it->second.size() ||
        it->second[address.channel] == nullptr) {
        return -1;
    }
    return it->second[address.channel]->Start();
}

int OrvelLogicProcessing::StopAlgorithm(const Address& address) {
    Guard guard(*this);
    auto it = table_.find(address.device);
    if (it == table_.end() || address.channel >= it->second.size() ||
        it->second[address.channel] == nullptr) {
        return -1;
    }
    return it->second[address.channel]->Stop();
}

int OrvelLogicProcessing::SendCommand(ACE_Message_Block* command) {
    if (quiesced_) {
        releaseBlock(command);
        return -1;
    }
    Task* up = sibling();
    if (up == nullptr) {
        releaseBlock(command);
        return -1;
    }
    return up->put(command, nullptr);
}

void OrvelLogicProcessing::Quiesce() {
    // Taking the lock waits for a dispatch or tick in progress to finish.
    Guard guard(*this);
    quiesced_ = true;
}

int OrvelLogicProcessing::open(void*) {
    ACE_Reactor* r = reactor();
    timerId_ = r != nullptr
                   ? r->schedule_timer(this, nullptr, ACE_Time_Value(0, kFirstTickMs * 1000),
                                       ACE_Time_Value(0, kTickMs * 1000))
                   : -1;
    if (timerId_ == -1) {
        ACE_ERROR((LM_EMERGENCY, ACE_TEXT("%p\n"),
                   ACE_TEXT(" OrvelLogicProcessing error shedule timer:")));
    }
    return activate(THR_NEW_LWP | THR_JOINABLE, 1, 0, ACE_DEFAULT_THREAD_PRIORITY, -1);
}

int OrvelLogicProcessing::close(u_long flags) {
    if (flags != kCloseFromModule) {
        return 0;
    }
    // Never under the logic lock: cancel_timer waits for a running tick,
    // and a tick takes that lock.
    if (reactor() != nullptr && timerId_ != -1) {
        reactor()->cancel_timer(this, 1);
        timerId_ = -1;
    }
    if (thr_count() == 0) {
        return 0;
    }
    ACE_Message_Block* hangup = makeHangupBlock();
    if (hangup == nullptr || msg_queue()->enqueue_head(hangup) == -1) {
        releaseBlock(hangup);
        ACE_ERROR((LM_ERROR, ACE_TEXT("%p\n"), ACE_TEXT("Task::close () putq")));
        return -1;
    }
    wait();
    return 0;
}

int OrvelLogicProcessing::put(ACE_Message_Block* mb, ACE_Time_Value* tv) {
    if (mb == nullptr) {
        return 0;
    }
    if (heldByThisThread()) {
        ACE_Time_Value now = ACE_Time_Value::zero;
        if (putq(mb, &now) != -1) {
            return 0;
        }
        std::lock_guard<std::mutex> guard(backlogMutex_);
        backlog_.push_back(mb);
        return 0;
    }
    if (putq(mb, tv) == -1) {
        releaseBlock(mb);
    }
    return 0;
}

bool OrvelLogicProcessing::drainBacklog() {
    std::deque<ACE_Message_Block*> pending;
    {
        std::lock_guard<std::mutex> guard(backlogMutex_);
        pending.swap(backlog_);
    }
    for (ACE_Message_Block* mb : pending) {
        dispatch(mb);
    }
    return !pending.empty();
}

void OrvelLogicProcessing::dispatch(ACE_Message_Block* mb) {
    try {
        Guard guard(*this);
        const char* payload = mb->rd_ptr();
        if (!quiesced_ && mb->length() >= 3 * sizeof(uint32_t)) {
            uint32_t words[3];
            std::memcpy(words, payload, sizeof words);
            auto it = table_.find(words[1]);
            if (it != table_.end() && words[2] < it->second.size() &&
                it->second[words[2]] != nullptr) {
                it->second[words[2]]->DoAlgorithm(mb);
            }
        }
    } catch (const std::exception& e) {
        ACE_ERROR((LM_ERROR, ACE_TEXT(" OrvelLogicProcessing dispatch exception: %C\n"), e.what()));
    } catch (...) {
        ACE_ERROR((LM_ERROR, ACE_TEXT(" OrvelLogicProcessing dispatch exception\n")));
    }
    releaseBlock(mb);
}

int OrvelLogicProcessing::svc() {
    pthread_setname_np(pthread_self(), "orvel-logic");
    // The boards' threads hand this thread every report and acknowledgement
    // and wait when its queue is full: behind a busy machine's other threads
    // it would hold them up, and a card left without output for a second
    // cuts a dialled digit in two.
    raiseBoardThreadPriority("OrvelLogicProcessing");
    for (;;) {
        drainBacklog();
        ACE_Message_Block* mb = nullptr;
        if (getq(mb) == -1) {
            return 0;
        }
        if (mb->msg_type() == MB_HANGUP) {
            ACE_DEBUG((LM_DEBUG, ACE_TEXT(" (%P|%t)Task::svc () -- HANGUP block received\n")));
            releaseBlock(mb);
            // Whatever is still queued is dropped, not dispatched.
            msg_queue()->flush();
            std::lock_guard<std::mutex> guard(backlogMutex_);
            for (ACE_Message_Block* left : backlog_) {
                releaseBlock(left);
            }
            backlog_.clear();
            return 0;
        }
        dispatch(mb);
    }
}

int OrvelLogicProcessing::handle_timeout(const ACE_Time_Value& now, const void* arg) {
    Guard guard(*this);
    if (quiesced_) {
        return 0;
    }
    for (auto& [device, algorithms] : table_) {
        for (CProcessingAlgorithm* algorithm : algorithms) {
            if (algorithm != nullptr) {
                try {
                    algorithm->CheckTimeOut(now, arg);
                } catch (...) {
                    ACE_ERROR((LM_ERROR, ACE_TEXT(" OrvelLogicProcessing timeout exception\n")));
                }
            }
        }
    }
    return 0;
}

}  // namespace orvel
