// The board device the engine keeps per card: the register protocol of
// CK24Driver plus the line-control interface, the transmit event and the
// start, stop, stream-switch and dial-answer operations of the card.
#pragma once

#include "board/k24_driver.h"

namespace orvel {

class CK24Device : public CK24Driver {
public:
    explicit CK24Device(driver::Driver& drv) : CK24Driver(drv) {}
    // The card may signal the transmit event until its handle is closed, so
    // the handle goes before this object's event does.
    ~CK24Device() override { CK24Driver::close(); }

    int start() override;
    int stop() override;
    int streamSwitch(uint32_t index, uint32_t on) override;
    int processAnswer(uint32_t unit, uint32_t localChannel, uint32_t command,
                      uint32_t value) override;

    // Line-control interface.
    int assign(uint32_t channel) { return setLineKey(channel, kKeyAssign); }
    int free(uint32_t channel) { return setLineKey(channel, kKeyFree); }
    int offHook(uint32_t channel);
    int onHook(uint32_t channel);
    // '1'..'9' → 1..9 pulses, '0' → 10, ',' → 11 (a pause); any other
    // character is refused (-1) and nothing is sent.
    int dialPulseDigit(uint32_t channel, char digit);
    // Line-control output switch of a hardware channel (0..17); the card's
    // switch has one state only, so `on` is not passed on.
    int outputSwitch(uint32_t hardwareChannel, bool on);

    // Waits for the transmit event; the driver signals it when it can take output.
    int waitForOutput(int timeoutMs) { return transmitEvent_.wait(timeoutMs); }
    void wakeOutput() { transmitEvent_.signal(); }

protected:
    driver::DeviceEvent transmitEvent_;
    uint32_t secondStartWord_ = 5;
};

}  // namespace orvel
