// Answers of the line-interface units: matching them with the commands that
// wait for them, resending parameters the unit did not take, dropping
// commands nobody answered; and the polarity watch of idle lines.
#include <ace/Guard_T.h>
#include <ace/Log_Msg.h>

#include "board/k24_driver.h"

namespace orvel {
namespace {

using Guard = ACE_Guard<ACE_Recursive_Thread_Mutex>;

constexpr uint32_t kMaxSends = 5;  // a parameter answer may differ this often
constexpr uint16_t kWatchOff = 0xFFFF;
constexpr uint16_t kPulseBlock = 625;  // 5 s of 8 ms blocks
constexpr uint16_t kResetBlock = 750;  // one more second of looking
constexpr uint32_t kRailRun = 2;       // a run longer than this is a pulse

}  // namespace

int CK24Driver::processAnswer(uint32_t unit, uint32_t localChannel, uint32_t command,
                              uint32_t value) {
    Guard guard(lock_);
    if (unit >= kUnitsPerBoard) {
        return kAnswerNothing;
    }
    // Supply readings come on local channels 6 and 7; every other answer
    // names one of the unit's lines.
    if (command == kUnitAdcData && (localChannel == 6 || localChannel == 7)) {
        unitStatus_[unit][localChannel == 6 ? kStatusSupply5 : kStatusSupply12] = value & 0xFF;
        return kAnswerNothing;
    }
    if (command == kUnitUnrecognised) {
        ACE_DEBUG((LM_DEBUG,
                   ACE_TEXT("CK24Driver::queueCmdsProcessed unrecognized command receiver %u\n"),
                   value));
        return kAnswerNothing;
    }
    // The frame's unit and local channel come from the card: one that names
    // no line of this unit is ignored rather than taken for another line.
    if (localChannel >= unitChannels_[unit]) {
        return kAnswerNothing;
    }
    uint32_t channel = firstChannel_[unit] + localChannel;
    int index = parameterIndex(command);
    if (index >= 0 && command != kUnitSetPolarity) {
        // The read and the set of a parameter wait alike: the answer to a
        // resent set still belongs to the read that found the wrong value.
        uint32_t set = setCodeOf(command);
        uint32_t read = set == kUnitSetMinActivate ? kUnitGetMinActivate : set - 1;
        K24PendingEntry* entry = answers_.find(channel, command);
        if (entry == nullptr) {
            entry = answers_.find(channel, command == set ? read : set);
        }
        if (entry == nullptr) {
            setUnitState(unit, kUnitAnswerUnexpected);
            return kAnswerNothing;
        }
        uint32_t wanted = parameters_[channel][index];
        if (value == wanted) {
            answers_.remove(entry);
            return kAnswerConfirmed;
        }
        setUnitState(unit, kUnitAnswerDiffers);
        if (++entry->sends < kMaxSends) {
            writeUnitCommand(channel, setCodeOf(command), wanted);
            return kAnswerNothing;
        }
        setUnitState(unit, kUnitNotConfirmed);
        answers_.remove(entry);
        return kAnswerError;
    }
    switch (command) {
        case kUnitSetPolarity: {
            K24PendingEntry* entry = answers_.find(channel, command);
            if (entry == nullptr) {
                return kAnswerNothing;
            }
            ACE_DEBUG(
                (LM_DEBUG, ACE_TEXT("Fact request SoglFrame processing. Channel:%d\n"), channel));
            int result = kAnswerNothing;
            uint32_t wanted = parameters_[channel][9];
            if (value != wanted && value <= 1) {
                setUnitState(unit, kUnitAnswerDiffers);
                if (++entry->sends < kMaxSends) {
                    writeUnitCommand(channel, kUnitSetPolarity, wanted);
                    return kAnswerNothing;
                }
                setUnitState(unit, kUnitNotConfirmed);
                result = kAnswerError;
            }
            answers_.remove(entry);
            return result;
        }
        case kUnitGetSerial:
        case kUnitGetVersion: {
            K24PendingEntry* entry = answers_.find(channel, command);
            if (entry == nullptr) {
                setUnitState(unit, kUnitAnswerUnexpected);
                return kAnswerNothing;
            }
            if (command == kUnitGetSerial) {
                unitStatus_[unit][kStatusSerial] = value & 0xFF;
            } else {
                unitStatus_[unit][kStatusVersion] = (value & 0xF) | (((value >> 4) & 0xF) << 16);
            }
            answers_.remove(entry);
            return kAnswerNothing;
        }
        case kUnitLineState:
            return kAnswerLineState;
        case kUnitAdcData:
            return kAnswerVoltage;
        default:
            return kAnswerNothing;
    }
}

int CK24Driver::checkAcknowledgeTimeouts(std::vector<K24PendingEntry>& expired) {
    Guard guard(lock_);
    size_t before = expired.size();
    answers_.tick(expired);
    for (size_t i = before; i < expired.size(); ++i) {
        const K24PendingEntry& e = expired[i];
        ACE_DEBUG((LM_DEBUG, ACE_TEXT("CK24Driver AcknowledgeTimeOut Channel:%u Command:%u\n"),
                   e.channel, e.command));
        setUnitState(unitOfChannel(e.channel), kUnitAnswerTimeout);
    }
    return expired.size() > before ? -1 : 0;
}

bool CK24Driver::polarityWatchOn(uint32_t channel) const {
    Guard guard(lock_);
    return channel < kChannelsPerBoard && polarityCounters_[channel] != kWatchOff;
}

void CK24Driver::polarityWatch(uint32_t channel, const int16_t* samples, size_t count) {
    Guard guard(lock_);
    if (channel >= kChannelsPerBoard || polarityCounters_[channel] == kWatchOff) {
        return;
    }
    uint16_t n = ++polarityCounters_[channel];
    if (n == kPulseBlock) {
        ACE_DEBUG((LM_DEBUG, ACE_TEXT(" Polarity pulse key channel %u\n"), channel));
        plusRuns_[channel] = minusRuns_[channel] = 0;
        setLineKey(channel, kKeyPolarityPulse);
        return;
    }
    if (n >= kResetBlock) {
        ACE_DEBUG((LM_DEBUG, ACE_TEXT(" Polarity reset channel %u\n"), channel));
        polarityCounters_[channel] = 0;
        return;
    }
    if (n < kPulseBlock || samples == nullptr) {
        return;
    }
    for (size_t i = 0; i < count; ++i) {
        plusRuns_[channel] = samples[i] == 32767 ? plusRuns_[channel] + 1 : 0;
        minusRuns_[channel] = samples[i] == -32768 ? minusRuns_[channel] + 1 : 0;
        if (plusRuns_[channel] > kRailRun) {
            ACE_DEBUG((LM_DEBUG, ACE_TEXT(" Polarity plus channel %u\n"), channel));
            setPolarity(channel, 1);
            polarityCounters_[channel] = 0;
            return;
        }
        if (minusRuns_[channel] > kRailRun) {
            ACE_DEBUG((LM_DEBUG, ACE_TEXT(" Polarity minus channel %u\n"), channel));
            setPolarity(channel, 0);
            polarityCounters_[channel] = 0;
            return;
        }
    }
}

}  // namespace orvel
