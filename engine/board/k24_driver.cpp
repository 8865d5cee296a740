#include "board/k24_driver.h"

#include <ace/Guard_T.h>
#include <ace/Log_Msg.h>

#include <algorithm>
#include <cerrno>

namespace orvel {
namespace {

constexpr uint32_t kRegCmdPrefix = 0x47470000;
constexpr uint32_t kRegCmdStopped = kRegCmdPrefix | 0x05;
constexpr uint32_t kRegCmdAttached = kRegCmdPrefix | 0x0B;
constexpr uint32_t kRegCmdUnitCommand = kRegCmdPrefix | 0x18;
constexpr uint32_t kNoCard = 0xFFFFFFFF;

}  // namespace

using Guard = ACE_Guard<ACE_Recursive_Thread_Mutex>;

CK24Driver::CK24Driver(driver::Driver& drv) : driver_(drv) {}

CK24Driver::~CK24Driver() { close(); }

int CK24Driver::open(const std::string& name, uint32_t number) {
    Guard guard(lock_);
    number_ = number;
    handle_ = driver_.open(name);
    if (!handle_) {
        ACE_ERROR((LM_ERROR, ACE_TEXT(" CE1Driver::open error open driver %C %u:"), name.c_str(),
                   number));
        ACE_ERROR((LM_ERROR, ACE_TEXT("%p\n"), ACE_TEXT("")));
        return -1;
    }
    driver::RegistersInfo info;
    if (handle_->ioctl(driver::IOCTL_GET_REGISTERS, nullptr, 0, &info, sizeof info) != 0) {
        ACE_ERROR((LM_ERROR, ACE_TEXT(" Device %C %u error ioctl:"), name.c_str(), number));
        ACE_ERROR((LM_ERROR, ACE_TEXT("%p\n"), ACE_TEXT("")));
        handle_.reset();
        return -1;
    }
    if (info.initialised == 0 || info.registers == nullptr) {
        ACE_ERROR((LM_ERROR, ACE_TEXT(" Device %C %u not initialized!\n"), name.c_str(), number));
        return 0;
    }
    registers_ = info.registers;
    registers_->write(driver::RegisterBlock::kCommand, kRegCmdAttached);
    configWord_ = registers_->read(driver::RegisterBlock::kConfig);
    if (configWord_ != kNoCard) {
        for (uint32_t u = 0; u < kUnitsPerBoard; ++u) {
            unitChannels_[u] = std::min<uint32_t>((configWord_ >> (4 * u)) & 7, kChannelsPerUnit);
            unitOptions_[u] = (configWord_ >> (4 * u + 3)) & 1;
        }
    } else {
        configWord_ = 0;
    }
    uint32_t channel = 0;
    for (uint32_t u = 0; u < kUnitsPerBoard; ++u) {
        firstChannel_[u] = channel;
        for (uint32_t k = 0; k < unitChannels_[u]; ++k) {
            unitOfChannel_[channel++] = u;
        }
        unitStatus_[u][0] = unitStatus_[u][1] = unitStatus_[u][4] = unitStatus_[u][5] = 0;
    }
    return 0;
}

int CK24Driver::close() {
    Guard guard(lock_);
    registers_ = nullptr;
    handle_.reset();
    return 0;
}

int CK24Driver::start() { return -1; }

int CK24Driver::stop() {
    Guard guard(lock_);
    if (registers_ == nullptr) {
        return -1;
    }
    registers_->write(driver::RegisterBlock::kCommand, kRegCmdStopped);
    return 0;
}

int CK24Driver::streamSwitch(uint32_t, uint32_t) { return -1; }

int CK24Driver::processAnswer(uint32_t, uint32_t, uint32_t, uint32_t) { return 0; }

uint32_t CK24Driver::channelCount() const {
    Guard guard(lock_);
    return unitChannels_[0] + unitChannels_[1] + unitChannels_[2];
}

uint32_t CK24Driver::unitChannelCount(uint32_t unit) const {
    Guard guard(lock_);
    return unit < kUnitsPerBoard ? unitChannels_[unit] : 0;
}

uint32_t CK24Driver::activeUnitCount() const {
    Guard guard(lock_);
    return static_cast<uint32_t>(
        std::count_if(unitChannels_.begin(), unitChannels_.end(), [](uint32_t n) { return n > 0; }));
}

uint32_t CK24Driver::unitOfChannel(uint32_t channel) const {
    return channel < kChannelsPerBoard ? unitOfChannel_[channel] : 0;
}

uint32_t CK24Driver::firstChannelOfUnit(uint32_t unit) const {
    return unit < kUnitsPerBoard ? firstChannel_[unit] : 0;
}

uint32_t CK24Driver::hardwareChannel(uint32_t channel) const {
    uint32_t u = unitOfChannel(channel);
    return u * kChannelsPerUnit + (channel - firstChannel_[u]);
}

uint32_t CK24Driver::boardVersion() const {
    Guard guard(lock_);
    return ((configWord_ >> 12) & 0xFF) | (((configWord_ >> 20) & 0xF) << 16);
}

void CK24Driver::unitStatus(uint32_t unit, uint32_t out[kUnitStatusWords]) const {
    Guard guard(lock_);
    for (uint32_t w = 0; w < kUnitStatusWords; ++w) {
        out[w] = unit < kUnitsPerBoard ? unitStatus_[unit][w] : 0;
    }
}

int CK24Driver::setChannelGain(uint32_t channel, uint32_t gain, bool apply) {
    Guard guard(lock_);
    if (gain >= 8 || channel >= channelCount()) {
        return -1;
    }
    uint32_t u = unitOfChannel(channel);
    gains_[u][channel - firstChannel_[u]] = gain;
    return apply ? -1 : 0;  // codec programming comes with the register protocol
}

int CK24Driver::setAdcData(uint32_t channel, uint32_t on) {
    return writeUnitCommand(channel, 24, on);
}

int CK24Driver::setLineKey(uint32_t channel, uint32_t value) {
    return writeUnitCommand(channel, 26, value);
}

int CK24Driver::writeUnitCommand(uint32_t channel, uint32_t command, uint32_t value) {
    Guard guard(lock_);
    if (registers_ == nullptr || channel >= kChannelsPerBoard) {
        return -1;
    }
    uint32_t u = unitOfChannel(channel);
    uint32_t local = channel - firstChannel_[u];
    uint32_t word = ((local & 7) << 16) | ((command & 0xFF) << 8) | (value & 0xFF);
    registers_->write(driver::RegisterBlock::kData, word);
    registers_->write(driver::RegisterBlock::kCommand, kRegCmdUnitCommand + u);
    return 0;
}

int CK24Device::start() {
    Guard guard(lock_);
    if (!handle_) {
        return -1;
    }
    driver::StartRecord start;
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
            setLineKey(firstChannel_[u], 7);
        }
    }
    int result = handle_->ioctl(driver::IOCTL_STOP, nullptr, 0, nullptr, 0) == 0 ? 0 : -1;
    receiveEvent_.signal();
    transmitEvent_.signal();
    return result;
}

}  // namespace orvel
