#include "board/k24_treshold.h"

#include <ace/Guard_T.h>
#include <ace/Log_Msg.h>
#include <ace/Message_Block.h>

#include <cstdio>

#include "board/k24_read_task.h"

namespace orvel {
namespace {

using Guard = ACE_Guard<ACE_Recursive_Thread_Mutex>;

// Unit commands of this task: reads and sets of the four thresholds.
constexpr uint32_t kReadFail = 1;
constexpr uint32_t kSetFail = 2;
constexpr uint32_t kReadActivate = 3;
constexpr uint32_t kSetActivate = 4;
constexpr uint32_t kReadRing = 5;
constexpr uint32_t kSetRing = 6;
constexpr uint32_t kReadMinActivate = 28;
constexpr uint32_t kSetMinActivate = 29;
constexpr uint32_t kPulseDigit = 27;
constexpr uint32_t kLastUnitCommand = 29;

// Index of the parameter a unit command reads or sets; -1 for the others.
int parameterOf(uint32_t code) {
    if (code >= 1 && code <= 16) {
        return static_cast<int>((code - 1) / 2);
    }
    return code == kReadMinActivate || code == kSetMinActivate ? 8 : -1;
}

bool isSetCommand(uint32_t code) {
    return code == kSetMinActivate || (code >= 2 && code <= 16 && code % 2 == 0);
}

struct AddressText {
    explicit AddressText(const Address& a) {
        std::snprintf(text, sizeof text, "Device: %d Channel: %d ", static_cast<int>(a.device),
                      static_cast<int>(a.channel));
    }
    char text[64];
};

bool sameAddress(const Address& a, const Address& b) {
    return a.reserved == b.reserved && a.device == b.device && a.channel == b.channel;
}

}  // namespace

CK24Treshold::CK24Treshold() {
    msg_queue()->high_water_mark(kTaskQueueWaterMark);
    msg_queue()->low_water_mark(kTaskQueueWaterMark);
}

void CK24Treshold::AddDevice(uint32_t device, uint32_t channelCount, CK24Device*) {
    Guard guard(lock_);
    if (device >= channelCounts_.size()) {
        channelCounts_.resize(device + 1, 0);
        current_.resize(device + 1);
        queues_.resize(device + 1);
    }
    // Boards that were not brought up keep their number with no lines.
    while (analysis_.deviceCount() < device) {
        analysis_.addDevice(0);
    }
    if (analysis_.deviceCount() == device) {
        analysis_.addDevice(channelCount);
        channelCounts_[device] = channelCount;
    }
    ACE_DEBUG(
        (LM_DEBUG, ACE_TEXT(" Add device number %d with %d channels\n"), device + 1, channelCount));
}

void CK24Treshold::PrepareDevice(uint32_t) {
    recalibrate();
}

void CK24Treshold::recalibrate() {
    Guard guard(lock_);
    recalibrate_ = true;
    for (auto& q : queues_) {
        q.clear();
    }
    for (auto& c : current_) {
        c.idle = true;
        c.executed = false;
    }
    analysis_.reset();
}

size_t CK24Treshold::queued(uint32_t device) const {
    Guard guard(lock_);
    return device < queues_.size() ? queues_[device].size() : 0;
}

bool CK24Treshold::idle(uint32_t device) const {
    Guard guard(lock_);
    return device >= current_.size() || current_[device].idle;
}

int CK24Treshold::put(ACE_Message_Block* mb, ACE_Time_Value*) {
    if (mb == nullptr) {
        return -1;
    }
    switch (mb->msg_type()) {
        case MB_IOCACK: {
            AckRecord ack;
            if (readRecord(mb, ack) && handleAck(ack)) {
                releaseBlock(mb);
                return 0;
            }
            return passOn(this, mb);
        }
        case MB_READ: {
            ReadRecord read;
            if (!readRecord(mb, read)) {
                ACE_DEBUG((LM_DEBUG, ACE_TEXT("Error message MB_DATA size\n")));
                return passOn(this, mb);
            }
            if (read.kind == READ_VOLTAGE && read.length >= 1 && read.data != nullptr) {
                handleVoltage(read);
            }
            return passOn(this, mb);
        }
        case MB_EVENT: {
            EventRecord event;
            if (!readRecord(mb, event)) {
                ACE_ERROR((LM_ERROR, ACE_TEXT(" Error message MB_EVENT size \n")));
                return passOn(this, mb);
            }
            if (event.type != EV_SOGL_LINE_STATE) {
                return passOn(this, mb);
            }
            handleUnitLineState(event);
            releaseBlock(mb);
            return 0;
        }
        default:
            return passOn(this, mb);
    }
}

void CK24Treshold::handleVoltage(const ReadRecord& read) {
    const Address& a = read.address;
    const uint8_t v = *static_cast<const uint8_t*>(read.data);
    int result = CStreesAnalyzer::kNothing;
    {
        Guard guard(lock_);
        if (recalibrate_) {
            recalibrate();
            for (uint32_t d = 0; d < channelCounts_.size(); ++d) {
                for (uint32_t k = 0; k < channelCounts_[d]; ++k) {
                    for (uint32_t code : {kReadActivate, kReadFail, kReadMinActivate, kReadRing}) {
                        queueCommand(Address{0, d, k}, code, 0);
                    }
                }
            }
            recalibrate_ = false;
        }
        result = analysis_.process(a.device, a.channel, v);
        if (result == CStreesAnalyzer::kSendThresholds ||
            result == CStreesAnalyzer::kReportStateAndThresholds) {
            sendThresholds(a);
        }
    }
    // The event goes down without the lock: nothing below needs it.
    if (result == CStreesAnalyzer::kReportState ||
        result == CStreesAnalyzer::kReportStateAndThresholds) {
        sendLineEvent(a);
    }
}

void CK24Treshold::sendLineEvent(const Address& a) {
    const int32_t type =
        withAnalysis([&](const CStreesAnalyzer& an) { return an.lineState(a.device, a.channel); });
    if (type < 0) {
        return;
    }
    ACE_DEBUG((LM_DEBUG, ACE_TEXT(" %C  Send event %C\n"), AddressText(a).text,
               eventName(static_cast<uint32_t>(type))));
    ACE_Message_Block* mb = makeEventBlock(a, static_cast<uint32_t>(type), 0, 0);
    if (mb != nullptr) {
        passOn(this, mb);
    }
}

void CK24Treshold::sendThresholds(const Address& a) {
    const VoltageRecord* r = analysis_.record(a.device, a.channel);
    if (r == nullptr || r->ringLevel <= 0) {
        return;
    }
    const VoltageRecord levels = *r;
    queueCommand(a, kSetMinActivate, static_cast<uint32_t>(levels.minActivateLevel));
    queueCommand(a, kSetActivate, static_cast<uint32_t>(levels.activateLevel));
    queueCommand(a, kSetRing, static_cast<uint32_t>(levels.ringLevel));
    queueCommand(a, kSetFail, static_cast<uint32_t>(levels.failLevel));
    const AddressText text(a);
    ACE_DEBUG((LM_DEBUG, ACE_TEXT(" %C  Setting parameters \n"), text.text));
    ACE_DEBUG((LM_DEBUG, ACE_TEXT(" %C  Current line voltage %d;Current speak voltage %d\n"),
               text.text, levels.idleVoltage, levels.busyVoltage));
    ACE_DEBUG((LM_DEBUG,
               ACE_TEXT(" %C  Set Activate  level %d; set min Activate level %d \nset Ring level "
                        "%d set Fail level %d\n"),
               text.text, levels.activateLevel, levels.minActivateLevel, levels.ringLevel,
               levels.failLevel));
}

void CK24Treshold::queueCommand(const Address& address, uint32_t code, uint32_t value) {
    {
        Guard guard(lock_);
        if (address.device >= queues_.size()) {
            return;
        }
        auto& queue = queues_[address.device];
        if (queue.size() > kQueueLimit) {
            ACE_ERROR((LM_ERROR,
                       ACE_TEXT(" %C  Wait to process command queue is too long. Size :%d\n"),
                       AddressText(address).text, static_cast<int>(queue.size())));
            return;
        }
        queue.push_back(QueuedCommand{address, code, value});
    }
    sendNext(address.device);
}

void CK24Treshold::sendNext(uint32_t device) {
    Guard guard(lock_);
    if (device >= queues_.size()) {
        return;
    }
    auto& queue = queues_[device];
    Current& current = current_[device];
    while (!queue.empty() && current.idle) {
        current.idle = false;
        current.executed = false;
        current.command = queue.front();
        queue.pop_front();
        const QueuedCommand& c = current.command;
        ACE_DEBUG((LM_DEBUG, ACE_TEXT(" %C Send command %C with value %d \n"),
                   AddressText(c.address).text, unitCommandName(c.code), c.value));
        ACE_Message_Block* mb = makeCommandBlock(c.address, c.code, c.value);
        Task* up = sibling();
        int sent = -1;
        if (mb != nullptr && up != nullptr) {
            sent = up->put(mb, nullptr);
        } else {
            releaseBlock(mb);
        }
        if (sent == -1) {
            // Nobody will answer it: the next one may go.
            ACE_ERROR(
                (LM_ERROR, ACE_TEXT(" %C  Error Sending command\n"), AddressText(c.address).text));
            current.idle = true;
        }
    }
}

bool CK24Treshold::handleAck(const AckRecord& ack) {
    const uint32_t cmd = ack.command;
    if (cmd == CMD_SEND_LINE_ASSIGN) {
        ACE_DEBUG(
            (LM_DEBUG, ACE_TEXT(" %C  Send assign line command\n"), AddressText(ack.address).text));
        recalibrate();
        return false;
    }
    if (cmd < 1 || cmd > kLastUnitCommand || cmd == kPulseDigit) {
        return false;
    }
    Guard guard(lock_);
    const uint32_t d = ack.address.device;
    if (d >= current_.size()) {
        return true;
    }
    Current& current = current_[d];
    // The unit may answer a read with the set of the same parameter (after
    // it corrected a differing value): both belong to the waiting command.
    const bool matches =
        sameAddress(ack.address, current.command.address) &&
        (cmd == current.command.code ||
         (parameterOf(cmd) >= 0 && parameterOf(cmd) == parameterOf(current.command.code)));
    if (matches) {
        const AddressText text(ack.address);
        const char* name = unitCommandName(cmd);
        if (ack.status == ACKS_OK && ack.type == ACKT_RECEIVE) {
            ACE_DEBUG((LM_DEBUG, ACE_TEXT(" %C Receiving ACK_RECICVE on command %C \n"), text.text,
                       name));
        } else if (ack.status == ACKS_OK && ack.type == ACKT_EXECUTE) {
            ACE_DEBUG((LM_DEBUG, ACE_TEXT(" %C Receiving ACK_EXECUTE, value %d on command %C \n"),
                       text.text, ack.answer, name));
            // Reads carry no value of their own to compare with.
            if (isSetCommand(current.command.code) && ack.answer != current.command.value) {
                ACE_ERROR(
                    (LM_ERROR,
                     ACE_TEXT(" %C Receiving value %d not equal seted value %don command %C \n"),
                     text.text, ack.answer, current.command.value, name));
            }
            current.command.value = ack.answer;
            current.executed = true;
            if (VoltageRecord* r = analysis_.record(d, ack.address.channel)) {
                const auto value = static_cast<int32_t>(ack.answer);
                switch (parameterOf(cmd)) {
                    case 0:
                        r->failLevel = value;
                        break;
                    case 1:
                        r->activateLevel = value;
                        break;
                    case 2:
                        r->ringLevel = value;
                        break;
                    case 8:
                        r->minActivateLevel = value;
                        break;
                    default:
                        break;
                }
            }
            current.idle = true;
        } else if (ack.status == kAckStatusTimeout) {
            ACE_ERROR((LM_ERROR, ACE_TEXT(" %C Timeout on command %C\n"), text.text, name));
            current.idle = true;
        } else {
            // A hardware error, or any other refusal: no answer will follow.
            ACE_ERROR((LM_ERROR, ACE_TEXT(" %C Error in writing command to driver %C \n"),
                       text.text, name));
            current.idle = true;
        }
    }
    sendNext(d);
    return true;
}

void CK24Treshold::handleUnitLineState(const EventRecord& event) {
    static const char* const kTexts[] = {
        " Device:% d Channel: %d Line free\n", " Device:% d Channel: %d Ring\n",
        " Device:% d Channel: %d Active in\n", " Device:% d Channel: %d Active out\n",
        " Device:% d Channel: %d Line busy\n",
    };
    Guard guard(lock_);
    const Address& a = event.address;
    VoltageRecord* r = analysis_.record(a.device, a.channel);
    if (r == nullptr) {
        return;
    }
    const auto s = static_cast<int32_t>(event.value);
    // Rings are each worth a line; repeated other states are not.
    if (s == r->unitLineState && event.value != SOGL_LINE_RING) {
        return;
    }
    if (event.value < sizeof kTexts / sizeof kTexts[0]) {
        ACE_DEBUG((LM_DEBUG, kTexts[event.value], static_cast<int>(a.device),
                   static_cast<int>(a.channel)));
    }
    r->unitLineState = s;
}

int CK24Treshold::setLineType(uint32_t device, uint32_t channel, uint32_t value) {
    Guard guard(lock_);
    return analysis_.setLineType(device, channel, static_cast<int32_t>(value));
}

int CK24Treshold::getLineType(uint32_t device, uint32_t channel, uint32_t& value) const {
    Guard guard(lock_);
    int32_t v = 0;
    if (analysis_.getLineType(device, channel, v) != 0) {
        return -1;
    }
    value = static_cast<uint32_t>(v);
    return 0;
}

int CK24Treshold::setLineDropMode(uint32_t device, uint32_t channel, uint32_t value) {
    Guard guard(lock_);
    return analysis_.setLineDropMode(device, channel, static_cast<int32_t>(value));
}

int CK24Treshold::getLineDropMode(uint32_t device, uint32_t channel, uint32_t& value) const {
    Guard guard(lock_);
    int32_t v = 0;
    if (analysis_.getLineDropMode(device, channel, v) != 0) {
        return -1;
    }
    value = static_cast<uint32_t>(v);
    return 0;
}

}  // namespace orvel
