#include "board/k24_device.h"

#include <ace/Guard_T.h>
#include <ace/Log_Msg.h>

namespace orvel {
namespace {

using Guard = ACE_Guard<ACE_Recursive_Thread_Mutex>;

constexpr uint32_t kMaxSends = 5;
constexpr uint16_t kWatchOff = 0xFFFF;

}  // namespace

int CK24Device::start() {
    Guard guard(lock_);
    if (!handle_) {
        return -1;
    }
    driver::StartRecord start;
    start.startWord = startWord_;
    start.secondStartWord = secondStartWord_;
    start.receiveEvent = &receiveEvent_;
    start.transmitEvent = &transmitEvent_;
    return handle_->ioctl(driver::IOCTL_START, &start, sizeof start, nullptr, 0) == 0 ? 0 : -1;
}

int CK24Device::stop() {
    Guard guard(lock_);
    if (!handle_) {
        return -1;
    }
    for (uint32_t u = 0; u < kUnitsPerBoard; ++u) {
        if (unitChannels_[u] > 0) {
            setLineKey(firstChannel_[u], kKeyReset);
        }
    }
    int result = handle_->ioctl(driver::IOCTL_STOP, nullptr, 0, nullptr, 0) == 0 ? 0 : -1;
    // Threads waiting on either event wake up and see that the card stopped.
    receiveEvent_.signal();
    transmitEvent_.signal();
    return result;
}

int CK24Device::streamSwitch(uint32_t index, uint32_t on) {
    Guard guard(lock_);
    if (!handle_) {
        return -1;
    }
    driver::StreamSwitchRecord rec;
    rec.index = index;
    rec.mode = 0;
    rec.value = on & 0xFF;
    return handle_->ioctl(driver::IOCTL_STREAM_SWITCH, &rec, sizeof rec, nullptr, 0) == 0 ? 0 : -1;
}

int CK24Device::outputSwitch(uint32_t hardwareChannel, bool) {
    Guard guard(lock_);
    if (!handle_) {
        return -1;
    }
    driver::StreamSwitchRecord rec;
    rec.index = hardwareChannel;
    rec.mode = 1;
    rec.value = 1;
    return handle_->ioctl(driver::IOCTL_STREAM_SWITCH, &rec, sizeof rec, nullptr, 0) == 0 ? 0 : -1;
}

int CK24Device::offHook(uint32_t channel) {
    Guard guard(lock_);
    if (channel < kChannelsPerBoard) {
        polarityCounters_[channel] = kWatchOff;  // no polarity pulses on a seized line
    }
    return setLineKey(channel, kKeyOffHook);
}

int CK24Device::onHook(uint32_t channel) {
    Guard guard(lock_);
    if (channel < kChannelsPerBoard && polarityCounters_[channel] == kWatchOff) {
        polarityCounters_[channel] = 0;
        plusRuns_[channel] = minusRuns_[channel] = 0;
    }
    return setLineKey(channel, kKeyOnHook);
}

int CK24Device::dialPulseDigit(uint32_t channel, char digit) {
    uint32_t value = 0;
    if (digit >= '1' && digit <= '9') {
        value = static_cast<uint32_t>(digit - '0');
    } else if (digit == '0') {
        value = 10;
    } else if (digit == ',') {
        value = 11;
    } else {
        return -1;
    }
    return queueUnitCommand(channel, kUnitPulseDigit, value);
}

int CK24Device::processAnswer(uint32_t unit, uint32_t localChannel, uint32_t command,
                              uint32_t value) {
    if (command != kUnitPulseDigit) {
        return CK24Driver::processAnswer(unit, localChannel, command, value);
    }
    Guard guard(lock_);
    if (unit >= kUnitsPerBoard || localChannel >= unitChannels_[unit]) {
        return kAnswerNothing;
    }
    uint32_t channel = firstChannel_[unit] + localChannel;
    K24PendingEntry* entry = answers_.find(channel, command);
    if (entry == nullptr) {
        setUnitState(unit, kUnitAnswerUnexpected);
        return kAnswerNothing;
    }
    if (value != 0) {
        setUnitState(unit, kUnitAnswerDiffers);
        if (++entry->sends < kMaxSends) {
            writeUnitCommand(channel, kUnitPulseDigit, entry->value);
            return kAnswerNothing;
        }
        setUnitState(unit, kUnitNotConfirmed);
    }
    answers_.remove(entry);
    return kAnswerConfirmed;
}

}  // namespace orvel
