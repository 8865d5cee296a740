// One telephony card: its register protocol, its line-interface units
// ("sogl") and the bookkeeping of unit commands waiting for an answer.
//
// Every operation takes the device lock (recursive); the waits inside (200 ms
// register polls, 20 ms pauses around codec programming) hold it.
#pragma once

#include <ace/Recursive_Thread_Mutex.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "board/driver.h"
#include "board/k24_answer_list.h"

namespace orvel {

inline constexpr uint32_t kUnitsPerBoard = 3;
inline constexpr uint32_t kChannelsPerUnit = 6;
inline constexpr uint32_t kChannelsPerBoard = kUnitsPerBoard * kChannelsPerUnit;
inline constexpr uint32_t kUnitStatusWords = 6;
inline constexpr uint32_t kCodecWords = 8;
inline constexpr uint32_t kUnitParameters = 10;

// Words of a unit status record.
enum UnitStatusWord : uint32_t {
    kStatusCodec = 0,     // 0 not programmed, 1 programmed, 2 programming failed
    kStatusUnit = 1,      // UnitState
    kStatusSupply5 = 2,   // raw 5 V reading
    kStatusSupply12 = 3,  // raw 12 V reading
    kStatusVersion = 4,   // low nibble | high nibble << 16
    kStatusSerial = 5,
};

enum UnitState : uint32_t {
    kUnitOk = 0,
    kUnitWriteFailed = 1,    // a command word could not be written
    kUnitNotConfirmed = 2,   // a parameter stayed wrong after 5 sends
    kUnitAnswerDiffers = 3,  // being resent
    kUnitAnswerTimeout = 4,
    kUnitAnswerUnexpected = 5,  // an answer for a command that was not sent
};

// Unit command codes the device itself uses.
enum UnitCommand : uint32_t {
    kUnitSetPolarity = 17,
    kUnitGetSerial = 18,
    kUnitGetVersion = 21,
    kUnitLineState = 23,
    kUnitAdcData = 24,
    kUnitUnrecognised = 25,
    kUnitLineKey = 26,
    kUnitPulseDigit = 27,
    kUnitGetMinActivate = 28,
    kUnitSetMinActivate = 29,
};

// Values of the line-key command.
enum LineKey : uint32_t {
    kKeyOnHook = 0,
    kKeyOffHook = 1,
    kKeyPolarityPulse = 2,
    kKeyAssign = 3,
    kKeyFree = 4,
    kKeyReset = 7,
};

// Results of answer processing (what the receive task sends down).
enum AnswerResult : int {
    kAnswerNothing = 0,
    kAnswerError = 1,
    kAnswerVoltage = 2,
    kAnswerConfirmed = 3,
    kAnswerLineState = 5,
};

class CK24Driver {
public:
    explicit CK24Driver(driver::Driver& drv);
    virtual ~CK24Driver();
    CK24Driver(const CK24Driver&) = delete;
    CK24Driver& operator=(const CK24Driver&) = delete;

    virtual int open(const std::string& name, uint32_t number);
    virtual int close();
    virtual int start();
    virtual int stop();
    virtual int streamSwitch(uint32_t index, uint32_t on);
    // Returns 0 nothing, 1 error acknowledgement, 2 line-voltage byte,
    // 3 confirming acknowledgement, 5 unit line-state event.
    virtual int processAnswer(uint32_t unit, uint32_t localChannel, uint32_t command,
                              uint32_t value);

    uint32_t deviceNumber() const { return number_; }
    // The card has stopped answering (or left the bus) while the engine ran:
    // its lines are out of service until the engine is started again.
    bool failed() const { return failed_.load(); }
    void markFailed() { failed_ = true; }
    bool isOpen() const { return handle_ != nullptr; }
    driver::DeviceHandle* handle() { return handle_.get(); }

    uint32_t channelCount() const;
    uint32_t unitChannelCount(uint32_t unit) const;
    uint32_t unitOption(uint32_t unit) const;
    // Units that have at least one channel.
    uint32_t activeUnitCount() const;
    uint32_t unitOfChannel(uint32_t channel) const;
    uint32_t firstChannelOfUnit(uint32_t unit) const;
    // Output slot of a channel: unit * 6 + local channel.
    uint32_t hardwareChannel(uint32_t channel) const;
    uint32_t boardVersion() const;
    void unitStatus(uint32_t unit, uint32_t out[kUnitStatusWords]) const;

    // Codec of a unit.
    int programCodec(uint32_t unit);
    int setUnitSampleRate(uint32_t unit, uint32_t rate, bool apply);
    int setChannelGain(uint32_t channel, uint32_t gain, bool apply);
    void disableUnit(uint32_t unit);
    // Register command 0x47470005: written before the card is started and
    // after it is stopped.
    void writeStopWord();
    uint32_t codecWord(uint32_t unit, uint32_t index) const;

    // Unit commands: written directly, or queued to wait for their answer.
    int writeUnitCommand(uint32_t channel, uint32_t command, uint32_t value);
    int queueUnitCommand(uint32_t channel, uint32_t command, uint32_t value);
    // Parameter shortcuts; `code` is the read (odd, or 28) or set (even, or
    // 29) code of a parameter.
    int readParameter(uint32_t channel, uint32_t code);
    int setParameter(uint32_t channel, uint32_t code, uint32_t value);
    int setPolarity(uint32_t channel, uint32_t plus);
    int requestVersion(uint32_t unit);
    int requestSerial(uint32_t unit);
    int setAdcData(uint32_t channel, uint32_t on);
    int setLineKey(uint32_t channel, uint32_t value);
    // Wanted value of parameter `index` (0..9) of a channel.
    uint32_t wantedParameter(uint32_t channel, uint32_t index) const;
    size_t pendingCount() const;

    // Ages the answer list by one tick (once a second). Every entry that
    // timed out is logged, marks its unit and is appended to `expired`;
    // -1 when any did, else 0.
    int checkAcknowledgeTimeouts(std::vector<K24PendingEntry>& expired);

    // Runs on every block of input samples of a channel.
    void polarityWatch(uint32_t channel, const int16_t* samples, size_t count);
    bool polarityWatchOn(uint32_t channel) const;

    // Waits for the receive event; the driver signals it when input is ready.
    int waitForInput(int timeoutMs) { return receiveEvent_.wait(timeoutMs); }
    void wakeInput() { receiveEvent_.signal(); }

    ACE_Recursive_Thread_Mutex& lock() const { return lock_; }

protected:
    // Parameter index (0..9) of a unit command code, or -1.
    static int parameterIndex(uint32_t command);
    // Set code of the pair a parameter code belongs to.
    static uint32_t setCodeOf(uint32_t command);
    void setUnitState(uint32_t unit, uint32_t state);
    bool channelExists(uint32_t channel) const;
    // Polls the status word until `mask` clears, at most kPollMs.
    bool waitStatusClear(uint32_t mask);
    void writeRegisters(uint32_t data, uint32_t command);
    void pause20ms();

    driver::Driver& driver_;
    std::unique_ptr<driver::DeviceHandle> handle_;
    driver::RegisterBlock* registers_ = nullptr;
    uint32_t number_ = 0;
    uint32_t configWord_ = 0;
    uint32_t startWord_ = 5;
    mutable ACE_Recursive_Thread_Mutex lock_;
    std::array<uint32_t, kUnitsPerBoard> unitChannels_{};
    std::array<uint32_t, kUnitsPerBoard> unitOptions_{};
    std::array<uint32_t, kChannelsPerBoard> unitOfChannel_{};
    std::array<uint32_t, kUnitsPerBoard> firstChannel_{};
    std::array<std::array<uint32_t, kCodecWords>, kUnitsPerBoard> codecWords_{};
    std::array<std::array<uint32_t, kChannelsPerUnit>, kUnitsPerBoard> gains_{};
    std::array<std::array<uint32_t, kUnitParameters>, kChannelsPerBoard> parameters_{};
    std::array<std::array<uint32_t, kUnitStatusWords>, kUnitsPerBoard> unitStatus_{};
    CK24AnswerList answers_;
    std::array<uint16_t, kChannelsPerBoard> polarityCounters_{};
    std::array<uint32_t, kChannelsPerBoard> plusRuns_{};
    std::array<uint32_t, kChannelsPerBoard> minusRuns_{};
    driver::DeviceEvent receiveEvent_;
    std::atomic<bool> failed_{false};
};

}  // namespace orvel

// Users of the board device include this header.
#include "board/k24_device.h"
