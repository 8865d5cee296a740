// CK24Treshold: the "TresholdModule" down-side task. It gives every line
// voltage reading to the voltage analysis, reports line ready, busy and drop
// to the call algorithms, and keeps the line-interface units' four
// thresholds up to date: one unit command at a time per board, each answer
// checked, at most 51 waiting.
//
// Passive task: works inside put() on a board's receive thread (or on the
// thread that sends an acknowledgement down) and inside the exports' setters
// on the caller's thread. Blocks: put() consumes what it is given — the
// answers to its own unit commands and the units' line-state reports are
// released here, everything else is passed on to the next task down, which
// consumes it. Commands it makes go up through the sibling and are not
// touched again.
//
// Locks: its own (recursive) around the queues, the current commands and
// the analysis; inside it the transmit task and the board device may take
// theirs, never the reverse.
#pragma once

#include <ace/Guard_T.h>
#include <ace/Recursive_Thread_Mutex.h>

#include <cstdint>
#include <deque>
#include <vector>

#include "board/strees_analyzer.h"
#include "task_base.h"

namespace orvel {

class CK24Device;

class CK24Treshold : public Task {
public:
    static constexpr size_t kQueueLimit = 50;  // a 51st waiting command is the last taken

    CK24Treshold();

    int put(ACE_Message_Block* mb, ACE_Time_Value* tv = nullptr) override;

    // Board `device` with its channels; `board` is not used beyond the call.
    void AddDevice(uint32_t device, uint32_t channelCount, CK24Device* board);
    // Called for each board once its channels are set up: every line is
    // measured anew.
    void PrepareDevice(uint32_t device);

    int setLineType(uint32_t device, uint32_t channel, uint32_t value);
    int getLineType(uint32_t device, uint32_t channel, uint32_t& value) const;
    int setLineDropMode(uint32_t device, uint32_t channel, uint32_t value);
    int getLineDropMode(uint32_t device, uint32_t channel, uint32_t& value) const;

    // Queues a unit command for a line; it goes out when the board's
    // previous one is answered.
    void queueCommand(const Address& address, uint32_t code, uint32_t value);
    // Forgets every queued and current command and lets every line learn again.
    void recalibrate();

    // For tests and diagnostics.
    size_t queued(uint32_t device) const;
    bool idle(uint32_t device) const;
    bool recalibrationPending() const { return recalibrate_; }
    // Runs `f` on the analysis under the lock.
    template <class F>
    auto withAnalysis(F f) const {
        ACE_Guard<ACE_Recursive_Thread_Mutex> guard(lock_);
        return f(analysis_);
    }

private:
    struct QueuedCommand {
        Address address;
        uint32_t code = 0;
        uint32_t value = 0;
    };
    struct Current {
        QueuedCommand command;
        bool idle = true;
        bool executed = false;
    };

    // True when the acknowledgement was one of this task's unit commands.
    bool handleAck(const AckRecord& ack);
    void handleVoltage(const ReadRecord& read);
    void handleUnitLineState(const EventRecord& event);
    void sendLineEvent(const Address& address);
    void sendThresholds(const Address& address);
    void sendNext(uint32_t device);

    mutable ACE_Recursive_Thread_Mutex lock_;
    CStreesAnalyzer analysis_;
    std::vector<uint32_t> channelCounts_;  // by device number
    std::vector<Current> current_;
    std::vector<std::deque<QueuedCommand>> queues_;
    bool recalibrate_ = false;
};

}  // namespace orvel
