#include "board/k24_driver.h"

#include <ace/Guard_T.h>
#include <ace/Log_Msg.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

namespace orvel {
namespace {

constexpr uint32_t kRegCmdPrefix = 0x47470000;
constexpr uint32_t kRegCmdStopped = kRegCmdPrefix | 0x05;
constexpr uint32_t kRegCmdAttached = kRegCmdPrefix | 0x0B;
constexpr uint32_t kRegCmdCodecWord = kRegCmdPrefix | 0x10;
constexpr uint32_t kRegCmdCodecBegin = kRegCmdPrefix | 0x11;
constexpr uint32_t kRegCmdSelectUnit = kRegCmdPrefix | 0x12;
constexpr uint32_t kRegCmdUnitCommand = kRegCmdPrefix | 0x18;
constexpr uint32_t kRegCmdUnitRelease = kRegCmdPrefix | 0x1B;
constexpr uint32_t kStatusCodecBusy = 0x4000;
// What a register of a card that is no longer on the bus reads.
constexpr uint32_t kGoneFromBus = 0xFFFFFFFF;
constexpr uint32_t kNoCard = 0xFFFFFFFF;
constexpr int kPollMs = 200;     // register polls give up after this
constexpr int kQuickPolls = 16;  // status reads before the poll starts sleeping
constexpr int kPollSleepUs = 200;
constexpr int kPauseMs = 20;  // around codec programming
constexpr int kCodecAttempts = 4;
constexpr uint16_t kWatchOff = 0xFFFF;

constexpr std::array<uint32_t, kCodecWords> kCodecDefaults = {0x810C, 0x82E1, 0x8388, 0x8488,
                                                              0x8588, 0x8600, 0x8700, 0x8001};
constexpr std::array<uint32_t, kUnitParameters> kParameterDefaults = {255, 255, 255, 200, 250,
                                                                      0,   250, 250, 254, 0};

}  // namespace

using Guard = ACE_Guard<ACE_Recursive_Thread_Mutex>;

CK24Driver::CK24Driver(driver::Driver& drv) : driver_(drv) {
    for (auto& words : codecWords_) {
        words = kCodecDefaults;
    }
    for (auto& p : parameters_) {
        p = kParameterDefaults;
    }
    polarityCounters_.fill(kWatchOff);
}

CK24Driver::~CK24Driver() {
    CK24Driver::close();
}

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
    polarityCounters_.fill(kWatchOff);
    plusRuns_.fill(0);
    minusRuns_.fill(0);
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
    unitChannels_.fill(0);
    unitOptions_.fill(0);
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
        unitStatus_[u][kStatusCodec] = unitStatus_[u][kStatusUnit] = 0;
        unitStatus_[u][kStatusVersion] = unitStatus_[u][kStatusSerial] = 0;
    }
    return 0;
}

int CK24Driver::close() {
    Guard guard(lock_);
    registers_ = nullptr;
    answers_.clear();
    handle_.reset();
    return 0;
}

int CK24Driver::start() {
    Guard guard(lock_);
    if (!handle_) {
        return -1;
    }
    driver::StartRecord start;
    start.startWord = startWord_;
    start.receiveEvent = &receiveEvent_;
    return handle_->ioctl(driver::IOCTL_START, &start, sizeof start, nullptr, 0) == 0 ? 0 : -1;
}

int CK24Driver::stop() {
    Guard guard(lock_);
    if (!handle_) {
        return -1;
    }
    int result = handle_->ioctl(driver::IOCTL_STOP, nullptr, 0, nullptr, 0) == 0 ? 0 : -1;
    receiveEvent_.signal();
    return result;
}

int CK24Driver::streamSwitch(uint32_t, uint32_t) {
    return -1;
}

uint32_t CK24Driver::channelCount() const {
    Guard guard(lock_);
    return unitChannels_[0] + unitChannels_[1] + unitChannels_[2];
}

uint32_t CK24Driver::unitChannelCount(uint32_t unit) const {
    Guard guard(lock_);
    return unit < kUnitsPerBoard ? unitChannels_[unit] : 0;
}

uint32_t CK24Driver::unitOption(uint32_t unit) const {
    Guard guard(lock_);
    return unit < kUnitsPerBoard ? unitOptions_[unit] : 0;
}

uint32_t CK24Driver::activeUnitCount() const {
    Guard guard(lock_);
    return static_cast<uint32_t>(std::count_if(unitChannels_.begin(), unitChannels_.end(),
                                               [](uint32_t n) { return n > 0; }));
}

bool CK24Driver::channelExists(uint32_t channel) const {
    return channel < unitChannels_[0] + unitChannels_[1] + unitChannels_[2];
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

void CK24Driver::setUnitState(uint32_t unit, uint32_t state) {
    if (unit < kUnitsPerBoard) {
        unitStatus_[unit][kStatusUnit] = state;
    }
}

void CK24Driver::writeRegisters(uint32_t data, uint32_t command) {
    registers_->write(driver::RegisterBlock::kData, data);
    registers_->write(driver::RegisterBlock::kCommand, command);
}

bool CK24Driver::waitStatusClear(uint32_t mask) {
    // Measured on the system clock. The card clears a bit within
    // microseconds; after a few quick reads the poll sleeps between reads so
    // that a stuck bit does not burn a processor for the whole 200 ms.
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPollMs);
    for (int reads = 0;; ++reads) {
        if (failed_) {
            return false;  // nothing will ever clear; no one may wait for it
        }
        const uint32_t status = registers_->read(driver::RegisterBlock::kCommand);
        if (status == kGoneFromBus) {
            // Nothing answers at the card's address: it has left the bus.
            ACE_ERROR((LM_ERROR, ACE_TEXT(" Board %u reads all ones: it is gone\n"), number_));
            failed_ = true;
            return false;
        }
        if ((status & mask) == 0) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= until) {
            return false;
        }
        if (reads >= kQuickPolls) {
            std::this_thread::sleep_for(std::chrono::microseconds(kPollSleepUs));
        }
    }
}

void CK24Driver::pause20ms() {
    std::this_thread::sleep_for(std::chrono::milliseconds(kPauseMs));
}

uint32_t CK24Driver::codecWord(uint32_t unit, uint32_t index) const {
    Guard guard(lock_);
    return unit < kUnitsPerBoard && index < kCodecWords ? codecWords_[unit][index] : 0;
}

int CK24Driver::programCodec(uint32_t unit) {
    Guard guard(lock_);
    if (registers_ == nullptr || unit >= kUnitsPerBoard) {
        return -1;
    }
    if (failed_) {
        return -1;
    }
    auto& words = codecWords_[unit];
    const auto& g = gains_[unit];
    words[2] = 0x8388 | (g[1] << 4) | g[0];
    words[3] = 0x8488 | (g[3] << 4) | g[2];
    words[4] = 0x8588 | (g[5] << 4) | g[4];
    writeRegisters(unit, kRegCmdSelectUnit);
    writeRegisters(0, kRegCmdCodecBegin);
    for (int attempt = 1;; ++attempt) {
        for (uint32_t w : words) {
            writeRegisters(w, kRegCmdCodecWord);
        }
        if (waitStatusClear(kStatusCodecBusy)) {
            unitStatus_[unit][kStatusCodec] = 1;
            return 0;
        }
        ACE_ERROR(
            (LM_ERROR, ACE_TEXT(" ADC programming timeout device %u sogl %u\n"), number_, unit));
        if (attempt == kCodecAttempts) {
            unitStatus_[unit][kStatusCodec] = 2;
            return -1;
        }
        writeRegisters(unit, kRegCmdSelectUnit);
        writeRegisters(0, kRegCmdCodecBegin);
    }
}

int CK24Driver::setUnitSampleRate(uint32_t unit, uint32_t rate, bool apply) {
    Guard guard(lock_);
    if (unit >= kUnitsPerBoard) {
        return -1;
    }
    switch (rate) {
        case 8000:
            codecWords_[unit][0] = 0x810C;
            break;
        case 16000:
            codecWords_[unit][0] = 0x810D;
            break;
        case 32000:
            codecWords_[unit][0] = 0x810E;
            break;
        case 64000:
            codecWords_[unit][0] = 0x810F;
            break;
        default:
            break;
    }
    if (!apply) {
        return 0;
    }
    streamSwitch(2 * unit, 0);
    pause20ms();
    if (programCodec(unit) != 0) {
        return -1;
    }
    pause20ms();
    streamSwitch(2 * unit, 1);
    return 0;
}

int CK24Driver::setChannelGain(uint32_t channel, uint32_t gain, bool apply) {
    Guard guard(lock_);
    if (gain >= 8 || !channelExists(channel)) {
        return -1;
    }
    uint32_t u = unitOfChannel(channel);
    gains_[u][channel - firstChannel_[u]] = gain;
    if (!apply) {
        return 0;
    }
    streamSwitch(2 * u, 0);
    pause20ms();
    if (programCodec(u) != 0) {
        streamSwitch(2 * u, 0);
        streamSwitch(2 * u + 1, 0);
        return -1;
    }
    pause20ms();
    streamSwitch(2 * u, 1);
    return 0;
}

void CK24Driver::disableUnit(uint32_t unit) {
    Guard guard(lock_);
    if (registers_ == nullptr || unit >= kUnitsPerBoard) {
        return;
    }
    streamSwitch(2 * unit, 0);
    streamSwitch(2 * unit + 1, 0);
    pause20ms();
    writeRegisters(unit, kRegCmdSelectUnit);
    writeRegisters(0, kRegCmdCodecBegin);
}

void CK24Driver::writeStopWord() {
    Guard guard(lock_);
    if (registers_ != nullptr) {
        writeRegisters(0, kRegCmdStopped);
    }
}

int CK24Driver::writeUnitCommand(uint32_t channel, uint32_t command, uint32_t value) {
    Guard guard(lock_);
    // A channel the card does not have would land on another unit's line.
    if (registers_ == nullptr || !channelExists(channel)) {
        return -1;
    }
    if (failed_) {
        return -1;  // a dead card takes no command, and nobody waits for one
    }
    uint32_t u = unitOfChannel(channel);
    uint32_t local = channel - firstChannel_[u];
    uint32_t word = ((local & 7) << 16) | ((command & 0xFF) << 8) | (value & 0xFF);
    if (waitStatusClear(0x10u << u)) {
        writeRegisters(word, kRegCmdUnitCommand + u);
        return 0;
    }
    writeRegisters(0, kRegCmdUnitRelease + u);
    ACE_ERROR((LM_ERROR, ACE_TEXT(" Write command %d to sogl %d timeout!\n"), command, u));
    setUnitState(u, kUnitWriteFailed);
    return -1;
}

int CK24Driver::queueUnitCommand(uint32_t channel, uint32_t command, uint32_t value) {
    Guard guard(lock_);
    if (registers_ == nullptr || !channelExists(channel)) {
        return -1;
    }
    answers_.add(channel, command, value);
    return writeUnitCommand(channel, command, value);
}

int CK24Driver::parameterIndex(uint32_t command) {
    if (command >= 1 && command <= 16) {
        return static_cast<int>((command - 1) / 2);
    }
    if (command == kUnitGetMinActivate || command == kUnitSetMinActivate) {
        return 8;
    }
    if (command == kUnitSetPolarity) {
        return 9;
    }
    return -1;
}

uint32_t CK24Driver::setCodeOf(uint32_t command) {
    if (command == kUnitGetMinActivate || command == kUnitSetMinActivate) {
        return kUnitSetMinActivate;
    }
    return command % 2 == 1 ? command + 1 : command;
}

int CK24Driver::readParameter(uint32_t channel, uint32_t code) {
    int index = parameterIndex(code);
    if (index < 0 || index > 8) {
        return -1;
    }
    uint32_t read = code == kUnitSetMinActivate || code == kUnitGetMinActivate
                        ? kUnitGetMinActivate
                        : static_cast<uint32_t>(2 * index + 1);
    return queueUnitCommand(channel, read, 0);
}

int CK24Driver::setParameter(uint32_t channel, uint32_t code, uint32_t value) {
    Guard guard(lock_);
    int index = parameterIndex(code);
    if (index < 0 || index > 8 || channel >= kChannelsPerBoard) {
        return -1;
    }
    parameters_[channel][index] = value & 0xFF;
    return queueUnitCommand(channel, setCodeOf(code), value);
}

int CK24Driver::setPolarity(uint32_t channel, uint32_t plus) {
    Guard guard(lock_);
    if (channel >= kChannelsPerBoard) {
        return -1;
    }
    parameters_[channel][9] = plus;
    return queueUnitCommand(channel, kUnitSetPolarity, plus);
}

int CK24Driver::requestVersion(uint32_t unit) {
    Guard guard(lock_);
    // A unit without channels shares its first channel number with the next unit.
    return unit < kUnitsPerBoard && unitChannels_[unit] > 0
               ? queueUnitCommand(firstChannel_[unit], kUnitGetVersion, 0)
               : -1;
}

int CK24Driver::requestSerial(uint32_t unit) {
    Guard guard(lock_);
    return unit < kUnitsPerBoard && unitChannels_[unit] > 0
               ? queueUnitCommand(firstChannel_[unit], kUnitGetSerial, 0)
               : -1;
}

int CK24Driver::setAdcData(uint32_t channel, uint32_t on) {
    return writeUnitCommand(channel, kUnitAdcData, on);
}

int CK24Driver::setLineKey(uint32_t channel, uint32_t value) {
    return writeUnitCommand(channel, kUnitLineKey, value);
}

uint32_t CK24Driver::wantedParameter(uint32_t channel, uint32_t index) const {
    Guard guard(lock_);
    return channel < kChannelsPerBoard && index < kUnitParameters ? parameters_[channel][index] : 0;
}

size_t CK24Driver::pendingCount() const {
    Guard guard(lock_);
    return answers_.size();
}

}  // namespace orvel
