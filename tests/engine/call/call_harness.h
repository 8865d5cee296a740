// Drives one call algorithm headless: its commands are recorded instead of
// reaching a board, acknowledgements and events are made up by the test, and
// time moves only when the test moves the clock.
#pragma once

#include <ace/Message_Block.h>
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "call/listen_line_test.h"
#include "call/logic_processing.h"

namespace orvel::testing {

class ManualClock : public CallClock {
public:
    TimePoint now() const override { return now_; }
    void advance(std::chrono::milliseconds d) { now_ += d; }

private:
    TimePoint now_{std::chrono::hours(1)};
};

// The up side of the logic module: keeps what the algorithm sends.
class CommandRecorder : public Task {
public:
    int put(ACE_Message_Block* mb, ACE_Time_Value* = nullptr) override {
        CommandRecord cmd;
        if (readRecord(mb, cmd)) {
            commands.push_back(cmd);
        }
        releaseBlock(mb);
        return failSends ? -1 : 0;
    }
    std::vector<CommandRecord> commands;
    bool failSends = false;
};

class CallHarness {
public:
    CallHarness() : logic_(new OrvelLogicProcessing(nullptr)), up_(new CommandRecorder) {
        module_ = new Module("LogicModule", logic_, up_, nullptr, Module::M_DELETE);
        alg.SetTask(logic_);
        alg.SetAddress(Address{0, 1, 4});
        current_ = this;
        alg.SetNotifyResultCallback(&CallHarness::record);
    }
    ~CallHarness() {
        current_ = nullptr;
        delete module_;
    }

    // ---- inputs
    int ack(uint32_t command, uint32_t type, uint32_t status = ACKS_OK) {
        return feed(makeAckBlock(alg.address(), type, status, command));
    }
    // RECEIVE then EXECUTE, both good.
    void done(uint32_t command) {
        ack(command, ACKT_RECEIVE);
        ack(command, ACKT_EXECUTE);
    }
    int event(uint32_t type, uint32_t value = 0, uint32_t extra = 0) {
        return feed(makeEventBlock(alg.address(), type, value, extra));
    }
    // A line-state report of a sound first heard `soundMs` ago.
    int report(uint32_t lineState, uint32_t soundMs = 0) {
        return event(EV_CHANGE_LINE_STATE, lineState, soundMs);
    }
    int digit(char c) { return event(EV_DTMF_DETECT, static_cast<unsigned char>(c)); }
    int feed(ACE_Message_Block* mb) {
        const int r = alg.DoAlgorithm(mb);
        releaseBlock(mb);
        return r;
    }
    // Moves the clock in 100-ms ticks, as the logic task's timer does.
    void wait(double seconds) {
        const int ticks = static_cast<int>(seconds * 10 + 0.5);
        for (int i = 0; i < ticks; ++i) {
            clock.advance(std::chrono::milliseconds(100));
            alg.CheckTimeOut(ACE_Time_Value::zero, nullptr);
        }
    }

    // ---- common paths
    // Start → assignment executed → on-hook executed → line ready.
    void assign() {
        ASSERT_EQ(alg.Start(), 0);
        done(CMD_SEND_LINE_ASSIGN);
        done(CMD_SEND_HANG_DOWN);
        event(EV_LINE_READY);
        ASSERT_EQ(alg.GetState(), READY_LINE);
        clearCommands();
    }
    // callAbonent, seizure executed and its second of settling.
    void seize(const char* number, uint32_t mode = 3, bool pulse = true) {
        ASSERT_EQ(alg.callAbonent(number, 1, 2, pulse, mode), 0);
        ASSERT_EQ(alg.GetState(), WAIT_ACKNOWLEDGE_HANG_UP);
        done(CMD_SEND_HANG_UP);
        wait(1.0);
    }
    // Dials every character of a number without waits, up to ring-back.
    void dialAll() {
        while (alg.GetState() == WAIT_DIAL) {
            done(CMD_SEND_TEL_NUM);
        }
    }
    // A call that rings, is answered and hears the main message to its end.
    void answeredAndPlayed(const char* number, uint32_t mode = 3) {
        seize(number, mode);
        dialAll();
        report(LS_TONE);
        report(LS_RING_BACK_TONE);
        report(LS_VOICE);
        ASSERT_EQ(alg.GetState(), WAIT_PLAY_MSG);
        done(CMD_START_PLAY);
        ASSERT_EQ(alg.GetState(), WAIT_TEST_BUSY);
    }
    // The hang-down that ends a call, executed, and the rest on-hook.
    void hungDown() {
        ASSERT_EQ(alg.GetState(), WAIT_ACKNOWLEDGE_HANG_DOWN);
        done(CMD_SEND_HANG_DOWN);
        wait(3.0);
    }

    // ---- outputs
    std::vector<uint32_t> codes() const {
        std::vector<uint32_t> out;
        for (const auto& c : up_->commands) {
            out.push_back(c.code);
        }
        return out;
    }
    const std::vector<CommandRecord>& commands() const { return up_->commands; }
    // The characters of the dial commands sent, in order.
    std::string dialledDigits() const {
        std::string out;
        for (const auto& c : up_->commands) {
            if (c.code == CMD_SEND_TEL_NUM) {
                out += static_cast<char>(c.arg1);
            }
        }
        return out;
    }
    void clearCommands() { up_->commands.clear(); }
    void failSends(bool on) { up_->failSends = on; }

    ManualClock clock;
    CListenLineTest alg{clock};
    std::vector<uint32_t> results;

private:
    static void record(uint32_t, uint32_t, uint32_t result) {
        if (current_ != nullptr) {
            current_->results.push_back(result);
        }
    }
    static inline CallHarness* current_ = nullptr;

    OrvelLogicProcessing* logic_;
    CommandRecorder* up_;
    Module* module_;
};

}  // namespace orvel::testing
