// OrvelLogicProcessing: the "LogicModule" task at the tail of the stream.
//
// Active task. put() queues every block that reaches the tail; the task's own
// thread takes them off and hands each to the algorithm of the channel it
// names, then releases it. A reactor timer (first after 1 s, then every
// 100 ms) lets every algorithm run its timeouts. One recursive lock guards the
// table and every call into an algorithm, so algorithms run one at a time.
#pragma once

#include <ace/Event_Handler.h>
#include <ace/Recursive_Thread_Mutex.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <vector>

#include "call/processing_algorithm.h"
#include "task_base.h"

class ACE_Reactor;

namespace orvel {

class OrvelLogicProcessing : public Task {
public:
    // Holds the logic lock and remembers, per thread, that it is held: the
    // native recursive mutex cannot tell who owns it.
    class LockGuard {
    public:
        explicit LockGuard(OrvelLogicProcessing& task);
        ~LockGuard();
        LockGuard(const LockGuard&) = delete;
        LockGuard& operator=(const LockGuard&) = delete;

    private:
        OrvelLogicProcessing& task_;
    };
    static bool heldByThisThread();

    explicit OrvelLogicProcessing(ACE_Reactor* reactor);
    ~OrvelLogicProcessing() override;

    bool AddDevice(uint32_t device, uint32_t channelCount);
    CProcessingAlgorithm* RegisterAlgorithm(const Address& address,
                                            CProcessingAlgorithm* algorithm);
    int StartAlgorithm(const Address& address);
    int StopAlgorithm(const Address& address);

    // Sends a command of an algorithm up the stream, through the sibling.
    int SendCommand(ACE_Message_Block* command);

    // After this, blocks and ticks reach no algorithm: used before the stream
    // is taken down so that no command runs up into modules being removed.
    void Quiesce();

    int open(void* args = nullptr) override;
    int close(u_long flags = 0) override;
    int put(ACE_Message_Block* mb, ACE_Time_Value* tv = nullptr) override;
    int svc() override;
    int handle_timeout(const ACE_Time_Value& now, const void* arg) override;

    // How long after open the first tick comes, and how often after that.
    static constexpr long kFirstTickMs = 1000;
    static constexpr long kTickMs = 100;

private:
    void dispatch(ACE_Message_Block* mb);
    bool drainBacklog();

    ACE_Recursive_Thread_Mutex lock_;
    std::map<uint32_t, std::vector<CProcessingAlgorithm*>> table_;
    long timerId_ = -1;
    std::atomic<bool> quiesced_{false};

    // Blocks that arrive while the queue is full on a thread that holds the
    // logic lock (answers to commands the algorithms just sent): waiting for
    // room there would wait for this very thread. They are dispatched after
    // what is queued.
    std::mutex backlogMutex_;
    std::deque<ACE_Message_Block*> backlog_;
};

}  // namespace orvel
