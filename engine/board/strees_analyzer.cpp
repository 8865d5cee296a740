#include "board/strees_analyzer.h"

#include <ace/Log_Msg.h>

#include <cstdlib>

namespace orvel {
namespace {

// Fixed bands of line type 1.
constexpr int32_t kFixedIdleLow = 9;
constexpr int32_t kFixedIdleHigh = 17;
constexpr int32_t kFixedBusyLow = 20;
constexpr int32_t kFixedBusyHigh = 130;
// Learning from nothing: idle above 30 (15 V), busy 1..30.
constexpr int32_t kIdleLow = 31;
constexpr int32_t kIdleHigh = 180;
constexpr int32_t kBusyHigh = 30;
constexpr int32_t kDropHigh = 3;         // 1.5 V and less: the line is gone
constexpr int32_t kRingReference = 200;  // ring level = (200 - idle) / 2
constexpr int32_t kLineTypeFixed = 1;

struct Band {
    int32_t low;
    int32_t high;
    int32_t nominal;
    int32_t fail;
    int32_t activate;
    int32_t minActivate;
    int32_t ring;
};

// Levels while only the idle voltage is known, by half the reading (volts).
constexpr Band kBands[] = {
    {19, 27, 24, 6, 36, 10, 70},
    {28, 39, 30, 6, 38, 10, 90},
    {40, 54, 48, 10, 38, 14, 110},
};
constexpr Band kOtherBand = {0, 127, 60, 10, 38, 14, 140};

}  // namespace

void VoltageRecord::reset() {
    idleVoltage = busyVoltage = -1;
    activateLevel = minActivateLevel = ringLevel = failLevel = -1;
    previousState = lineState = unitLineState = -1;
    learningCount = 0;
    reference = -1;
    stableCount = 0;
    armed = 1;
    phase = 0;
}

CStreesAnalyzer::CStreesAnalyzer() {
    ACE_DEBUG(
        (LM_INFO, ACE_TEXT("All voltage values must be divided on 2 (return type integer)\n")));
}

void CStreesAnalyzer::addDevice(uint32_t channelCount) {
    const auto device = static_cast<uint32_t>(devices_.size());
    std::vector<VoltageRecord> records(channelCount);
    for (uint32_t k = 0; k < channelCount; ++k) {
        records[k].address = Address{0, device, k};
    }
    devices_.push_back(std::move(records));
}

int CStreesAnalyzer::reset() {
    for (auto& device : devices_) {
        for (auto& r : device) {
            r.reset();
        }
    }
    mode_ = kLearning;
    return 0;
}

uint32_t CStreesAnalyzer::channelCount(uint32_t device) const {
    return device < devices_.size() ? static_cast<uint32_t>(devices_[device].size()) : 0;
}

VoltageRecord* CStreesAnalyzer::record(uint32_t device, uint32_t channel) {
    if (device >= devices_.size() || channel >= devices_[device].size()) {
        return nullptr;
    }
    return &devices_[device][channel];
}

const VoltageRecord* CStreesAnalyzer::record(uint32_t device, uint32_t channel) const {
    return const_cast<CStreesAnalyzer*>(this)->record(device, channel);
}

int CStreesAnalyzer::process(uint32_t device, uint32_t channel, uint8_t reading) {
    VoltageRecord* r = record(device, channel);
    if (r == nullptr) {
        return kNothing;
    }
    r->lastReading = reading;
    return mode_ == kLearning ? learningStep(*r, reading) : normalStep(*r, reading);
}

int32_t CStreesAnalyzer::stableValue(VoltageRecord& r, int32_t reading) {
    if (r.reference == -1 ||
        static_cast<uint32_t>(std::abs(r.reference - reading)) > kStableWindow) {
        r.reference = reading;
        r.stableCount = 0;
        r.armed = 1;
        return -1;
    }
    if (r.armed == 0) {
        return -1;
    }
    if (++r.stableCount < kStableReadings) {
        return -1;
    }
    r.stableCount = 0;
    r.armed = 0;
    return reading;
}

int32_t CStreesAnalyzer::decide(VoltageRecord& r, int32_t v) {
    int32_t s = kVoltageBusy;
    if (r.lineType == kLineTypeFixed) {
        if (v >= kFixedIdleLow && v <= kFixedIdleHigh) {
            r.idleVoltage = v;
            s = kVoltageReady;
        } else if (v >= kFixedBusyLow && v <= kFixedBusyHigh) {
            r.busyVoltage = v;
        }
    } else if (r.phase == 0) {
        if (v >= kIdleLow && v <= kIdleHigh) {
            r.idleVoltage = v;
            r.phase = 1;
            ACE_DEBUG((LM_DEBUG, ACE_TEXT("Device:%d Channel:%d Line free, voltage %d\n"),
                       r.address.device, r.address.channel, r.lastReading));
            s = kVoltageReady;
        } else if (v >= 1 && v <= kBusyHigh) {
            r.busyVoltage = v;
            r.phase = 2;
            ACE_DEBUG((LM_DEBUG, ACE_TEXT("Device:%d Channel:%d Line busy, voltage %d\n"),
                       r.address.device, r.address.channel, r.lastReading));
        }
    } else if (r.phase == 1) {
        const int32_t idle = r.idleVoltage;
        if (v - idle >= kStep) {
            r.busyVoltage = idle;
            r.idleVoltage = v;
            s = kVoltageReady;
        } else if (v - idle < -kStep && v >= 1) {
            r.busyVoltage = v;
        } else {
            s = kVoltageReady;
        }
    } else if (v == 0) {
        s = kVoltageUnknown;
    } else {
        const int32_t busy = r.busyVoltage;
        if (busy - v > kStep && v > r.failLevel) {
            r.idleVoltage = busy;
            r.busyVoltage = v;
        } else if (v - busy > kStep) {
            r.idleVoltage = v;
            s = kVoltageReady;
        }
    }
    if (r.lineDropMode == 1 && v <= kDropHigh) {
        s = kVoltageDrop;
    }
    r.previousState = r.lineState;
    r.lineState = s;
    return s;
}

int32_t CStreesAnalyzer::computeLevels(VoltageRecord& r) {
    if (r.idleVoltage == -1) {
        return -1;
    }
    if (r.busyVoltage != -1) {
        const int32_t idle = r.idleVoltage;
        const int32_t busy = r.busyVoltage;
        // Above 200 (100 V) no ring level can be given; 0 keeps the unit's own.
        r.ringLevel = idle <= kRingReference ? (kRingReference - idle) / 2 : 0;
        // A tenth of the busy voltage as the single-precision product gives
        // it: a multiple of ten comes out one less.
        r.failLevel =
            static_cast<int32_t>(static_cast<double>(busy) * 10.0 * static_cast<double>(0.01f));
        r.activateLevel = (idle - busy) / 2 + busy;
        r.minActivateLevel = busy / 2;
        return 0;
    }
    const int32_t u = r.lastReading / 2;
    const Band* band = &kOtherBand;
    for (const Band& b : kBands) {
        if (u >= b.low && u <= b.high) {
            band = &b;
            break;
        }
    }
    r.failLevel = band->fail;
    r.activateLevel = band->activate;
    r.minActivateLevel = band->minActivate;
    r.ringLevel = band->ring;
    ACE_DEBUG((LM_DEBUG, ACE_TEXT("Device: %d Channel: %d Levels was calculated with result %d\n"),
               r.address.device, r.address.channel, band->nominal));
    return band->nominal;
}

int CStreesAnalyzer::levelsResult(VoltageRecord& r, int32_t state) {
    if (computeLevels(r) == -1) {
        return kReportState;
    }
    return state == r.previousState ? kSendThresholds : kReportStateAndThresholds;
}

int CStreesAnalyzer::learningStep(VoltageRecord& r, int32_t reading) {
    ++r.learningCount;
    int result = kNothing;
    const int32_t v = stableValue(r, reading);
    if (v != -1) {
        const int32_t s = decide(r, v);
        if (s != kVoltageUnknown) {
            result = levelsResult(r, s);
        }
    }
    if (r.learningCount >= kLearningLength) {
        if (r.lineState == kVoltageUnknown) {
            r.lineState = kVoltageBusy;
        }
        mode_ = kNormal;
        // Thresholds computed by this very reading still go to the unit.
        return result == kSendThresholds || result == kReportStateAndThresholds
                   ? kReportStateAndThresholds
                   : kReportState;
    }
    return result;
}

int CStreesAnalyzer::normalStep(VoltageRecord& r, int32_t reading) {
    const int32_t v = stableValue(r, reading);
    if (v == -1) {
        return kNothing;
    }
    const int32_t s = decide(r, v);
    return s == kVoltageUnknown ? kNothing : levelsResult(r, s);
}

int32_t CStreesAnalyzer::lineState(uint32_t device, uint32_t channel) const {
    const VoltageRecord* r = record(device, channel);
    return r != nullptr ? r->lineState : -1;
}

int32_t CStreesAnalyzer::unitLineState(uint32_t device, uint32_t channel) const {
    const VoltageRecord* r = record(device, channel);
    return r != nullptr ? r->unitLineState : -1;
}

int32_t CStreesAnalyzer::setUnitLineState(uint32_t device, uint32_t channel, int32_t value) {
    VoltageRecord* r = record(device, channel);
    if (r == nullptr) {
        return -1;
    }
    r->unitLineState = value;
    return value;
}

int32_t CStreesAnalyzer::idleVoltage(uint32_t device, uint32_t channel) const {
    const VoltageRecord* r = record(device, channel);
    return r != nullptr ? r->idleVoltage : -1;
}

int32_t CStreesAnalyzer::busyVoltage(uint32_t device, uint32_t channel) const {
    const VoltageRecord* r = record(device, channel);
    return r != nullptr ? r->busyVoltage : -1;
}

int CStreesAnalyzer::setLineType(uint32_t device, uint32_t channel, int32_t value) {
    VoltageRecord* r = record(device, channel);
    if (r == nullptr) {
        return -1;
    }
    r->lineType = value;
    return 0;
}

int CStreesAnalyzer::getLineType(uint32_t device, uint32_t channel, int32_t& value) const {
    const VoltageRecord* r = record(device, channel);
    if (r == nullptr) {
        return -1;
    }
    value = r->lineType;
    return 0;
}

int CStreesAnalyzer::setLineDropMode(uint32_t device, uint32_t channel, int32_t value) {
    VoltageRecord* r = record(device, channel);
    if (r == nullptr) {
        return -1;
    }
    r->lineDropMode = value;
    return 0;
}

int CStreesAnalyzer::getLineDropMode(uint32_t device, uint32_t channel, int32_t& value) const {
    const VoltageRecord* r = record(device, channel);
    if (r == nullptr) {
        return -1;
    }
    value = r->lineDropMode;
    return 0;
}

}  // namespace orvel
