#pragma once
// The scripted line library, also recording the parameter setters the
// parameters dialog calls.

#include <array>
#include <vector>

#include "notify/fake_line_library.h"

namespace orvel::test {

class RecordingLibrary : public FakeLineLibrary {
public:
    using FakeLineLibrary::FakeLineLibrary;
    struct Set {
        uint32_t board, channel, value;
    };
    std::vector<std::pair<std::array<uint32_t, 2>, TCallTimeParams>> timeParams;
    std::vector<Set> dtmfLevels, lineTypes, dropModes;
    std::vector<std::pair<std::string, int>> logSwitches;
    std::vector<int> confirmOn, advancedDtmf, dumps;

    void SetTimeParam(uint32_t b, uint32_t c, const TCallTimeParams& p) override {
        timeParams.push_back({{b, c}, p});
    }
    int32_t SetDtmfLevel(uint32_t b, uint32_t c, uint32_t v) override {
        dtmfLevels.push_back({b, c, v});
        return 0;
    }
    int32_t setLineType(uint32_t b, uint32_t c, uint32_t v) override {
        lineTypes.push_back({b, c, v});
        return 0;
    }
    int32_t setLineDropMode(uint32_t b, uint32_t c, uint32_t v) override {
        dropModes.push_back({b, c, v});
        return 0;
    }
    int32_t logEnable(const std::string& path, int32_t on) override {
        logSwitches.push_back({path, on});
        return 0;
    }
    void SetConfirmOn(int32_t on) override { confirmOn.push_back(on); }
    void AdvancedDtmfConfirmOn(int32_t on) override { advancedDtmf.push_back(on); }
    void dumpEnable(int32_t on) override { dumps.push_back(on); }

    void clearRecords() {
        timeParams.clear();
        dtmfLevels.clear();
        lineTypes.clear();
        dropModes.clear();
        logSwitches.clear();
        confirmOn.clear();
        advancedDtmf.clear();
        dumps.clear();
    }
};

}  // namespace orvel::test
