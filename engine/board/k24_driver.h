// One telephony card: its register protocol, its line-interface units
// ("sogl") and the bookkeeping of unit commands waiting for an answer.
#pragma once

#include <ace/Recursive_Thread_Mutex.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "board/driver.h"

namespace orvel {

inline constexpr uint32_t kUnitsPerBoard = 3;
inline constexpr uint32_t kChannelsPerUnit = 6;
inline constexpr uint32_t kChannelsPerBoard = kUnitsPerBoard * kChannelsPerUnit;
inline constexpr uint32_t kUnitStatusWords = 6;

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
    bool isOpen() const { return handle_ != nullptr; }
    driver::DeviceHandle* handle() { return handle_.get(); }

    uint32_t channelCount() const;
    uint32_t unitChannelCount(uint32_t unit) const;
    // Units that have at least one channel.
    uint32_t activeUnitCount() const;
    uint32_t unitOfChannel(uint32_t channel) const;
    uint32_t firstChannelOfUnit(uint32_t unit) const;
    // Output slot of a channel: unit * 6 + local channel.
    uint32_t hardwareChannel(uint32_t channel) const;
    uint32_t boardVersion() const;
    void unitStatus(uint32_t unit, uint32_t out[kUnitStatusWords]) const;

    int setChannelGain(uint32_t channel, uint32_t gain, bool apply);
    int setAdcData(uint32_t channel, uint32_t on);
    int setLineKey(uint32_t channel, uint32_t value);
    int writeUnitCommand(uint32_t channel, uint32_t command, uint32_t value);

    // Waits for the receive event; the driver signals it when input is ready.
    int waitForInput(int timeoutMs) { return receiveEvent_.wait(timeoutMs); }
    void wakeInput() { receiveEvent_.signal(); }

    ACE_Recursive_Thread_Mutex& lock() const { return lock_; }

protected:
    driver::Driver& driver_;
    std::unique_ptr<driver::DeviceHandle> handle_;
    driver::RegisterBlock* registers_ = nullptr;
    uint32_t number_ = 0;
    uint32_t configWord_ = 0;
    mutable ACE_Recursive_Thread_Mutex lock_;
    std::array<uint32_t, kUnitsPerBoard> unitChannels_{};
    std::array<uint32_t, kUnitsPerBoard> unitOptions_{};
    std::array<uint32_t, kChannelsPerBoard> unitOfChannel_{};
    std::array<uint32_t, kUnitsPerBoard> firstChannel_{};
    std::array<std::array<uint32_t, kChannelsPerUnit>, kUnitsPerBoard> gains_{};
    std::array<std::array<uint32_t, kUnitStatusWords>, kUnitsPerBoard> unitStatus_{};
    driver::DeviceEvent receiveEvent_;
};

class CK24Device : public CK24Driver {
public:
    explicit CK24Device(driver::Driver& drv) : CK24Driver(drv) {}

    int start() override;
    int stop() override;

    // Line-control interface.
    int assign(uint32_t channel) { return setLineKey(channel, 3); }
    int free(uint32_t channel) { return setLineKey(channel, 4); }

    // Waits for the transmit event; the driver signals it when it can take output.
    int waitForOutput(int timeoutMs) { return transmitEvent_.wait(timeoutMs); }
    void wakeOutput() { transmitEvent_.signal(); }

protected:
    driver::DeviceEvent transmitEvent_;
};

}  // namespace orvel
