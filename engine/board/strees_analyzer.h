// CStreesAnalyzer: learns, per line of every board, the voltage of the idle
// line and of the line in use from the units' voltage readings (one reading
// unit is half a volt), decides whether a line is ready, busy or dropped, and
// computes the four thresholds its unit needs.
//
// It works on stable values only: a reading counts once 500 readings in a
// row have stayed within ±8 of the reading that opened the run. After a
// reset every line learns again; the first line that has seen 5000 readings
// ends learning for all of them.
//
// No lock of its own: the thresholds task calls it under its lock.
#pragma once

#include <cstdint>
#include <vector>

#include "messages.h"

namespace orvel {

// Line states the analysis reports (event types of the thresholds task).
enum VoltageLineState : int32_t {
    kVoltageUnknown = -1,
    kVoltageReady = 2,
    kVoltageBusy = 3,
    kVoltageDrop = 6,
};

struct VoltageRecord {
    Address address;
    int32_t lastReading = 0;
    int32_t idleVoltage = -1;
    int32_t busyVoltage = -1;
    int32_t activateLevel = -1;
    int32_t minActivateLevel = -1;
    int32_t ringLevel = -1;
    int32_t failLevel = -1;
    int32_t previousState = -1;
    int32_t lineState = -1;
    int32_t unitLineState = -1;
    uint32_t learningCount = 0;
    int32_t reference = -1;  // reading that opened the current stable run
    uint32_t stableCount = 0;
    uint8_t armed = 1;
    uint8_t phase = 0;  // 0 nothing learned, 1 idle voltage first, 2 busy voltage first
    int32_t lineType = 0;
    int32_t lineDropMode = 1;

    // Back to nothing known; address, last reading, line type and
    // line-drop mode stay.
    void reset();
};

class CStreesAnalyzer {
public:
    enum Mode : int32_t { kLearning = 1, kNormal = 2 };
    // What process() asks of the thresholds task.
    enum Result : int {
        kNothing = -1,
        kReportState = 0,
        kSendThresholds = 1,
        kReportStateAndThresholds = 2,
    };
    static constexpr uint32_t kStableWindow = 8;  // reading units either side
    static constexpr uint32_t kStableReadings = 500;
    static constexpr int32_t kStep = 5;  // reading units between two voltages
    static constexpr uint32_t kLearningLength = 5000;

    CStreesAnalyzer();

    // Appends the next device (numbers 0, 1, 2, … in order).
    void addDevice(uint32_t channelCount);
    // Every line learns again; line types and line-drop modes stay.
    int reset();
    // One voltage reading of a line; a Result, or -1 for an unknown line.
    int process(uint32_t device, uint32_t channel, uint8_t reading);

    int32_t mode() const { return mode_; }
    uint32_t deviceCount() const { return static_cast<uint32_t>(devices_.size()); }
    uint32_t channelCount(uint32_t device) const;
    // Null for an unknown line.
    VoltageRecord* record(uint32_t device, uint32_t channel);
    const VoltageRecord* record(uint32_t device, uint32_t channel) const;

    int32_t lineState(uint32_t device, uint32_t channel) const;
    int32_t unitLineState(uint32_t device, uint32_t channel) const;
    int32_t setUnitLineState(uint32_t device, uint32_t channel, int32_t value);
    int32_t idleVoltage(uint32_t device, uint32_t channel) const;
    int32_t busyVoltage(uint32_t device, uint32_t channel) const;

    int setLineType(uint32_t device, uint32_t channel, int32_t value);
    int getLineType(uint32_t device, uint32_t channel, int32_t& value) const;
    int setLineDropMode(uint32_t device, uint32_t channel, int32_t value);
    int getLineDropMode(uint32_t device, uint32_t channel, int32_t& value) const;

    // The stable value a reading completes, or -1.
    static int32_t stableValue(VoltageRecord& r, int32_t reading);
    // Stores and returns the line state for a stable value.
    static int32_t decide(VoltageRecord& r, int32_t value);
    // Sets the four levels; -1 when nothing is known to compute them from,
    // else 0 from learned voltages or the band's nominal voltage.
    static int32_t computeLevels(VoltageRecord& r);

private:
    int learningStep(VoltageRecord& r, int32_t reading);
    int normalStep(VoltageRecord& r, int32_t reading);
    static int levelsResult(VoltageRecord& r, int32_t state);

    std::vector<std::vector<VoltageRecord>> devices_;
    int32_t mode_ = kLearning;
};

}  // namespace orvel
