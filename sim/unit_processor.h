// The processor of one line-interface unit: takes unit command words from the
// card's register, keeps the stored line parameters, works the line keys and
// pulse dialling of its lines, and answers with 4-byte unit frames (answers,
// line-state reports, converter readings of line and supply voltages).
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "exchange_line.h"
#include "sim_config.h"

namespace orvel::sim {

// Unit command codes as the units know them.
enum UnitCode : int {
    kGetSerial = 18,
    kSetPolarity = 17,
    kGetVersion = 21,
    kLineStateReport = 23,
    kAdcData = 24,
    kUnrecognised = 25,
    kLineKey = 26,
    kPulseDigit = 27,
    kGetMinActivate = 28,
    kSetMinActivate = 29,
};

inline constexpr int kUnitParameters = 10;
// What a unit keeps after a reset (the engine's wanted defaults): fail,
// activate and ring levels, maximum ring pause, the four caller-number request
// parameters, minimum activate level, polarity.
inline constexpr std::array<int, kUnitParameters> kParameterDefaults = {255, 255, 255, 200, 250,
                                                                        0,   250, 250, 254, 0};

struct UnitCommandSeen {
    uint64_t at = 0;  // sample
    int local = 0;
    int code = 0;
    int value = 0;
};

class UnitProcessor {
public:
    void init(int unit, const UnitConfig& config, int adcRate, std::array<ExchangeLine*, 6> lines);

    // Register side: false when the unit cannot take a command word now.
    bool busy() const { return config_.hung; }
    void command(uint32_t dataWord, uint64_t now);
    void reset(uint64_t now);

    // Appends the unit frames due at sample `now` to `out`; with `send`
    // false (stream off) they are produced and dropped.
    void tick(uint64_t now, bool send, std::vector<uint8_t>& out);

    int parameter(int local, int index) const { return params_[local][index]; }
    bool adcOn(int local) const { return adcOn_[local]; }
    const std::vector<UnitCommandSeen>& commandsSeen() const { return seen_; }

private:
    struct Answer {
        uint64_t due;
        int local;
        int code;
        int value;
    };
    void answer(uint64_t due, int local, int code, int value);
    void frame(std::vector<uint8_t>& out, int local, int code, int value) const;
    int parameterAnswer(int local, int index) const;

    int unit_ = 0;
    UnitConfig config_;
    std::array<ExchangeLine*, 6> lines_{};
    std::array<std::array<int, kUnitParameters>, 6> params_{};
    std::array<bool, 6> adcOn_{};
    std::array<int, 6> reportedState_{};
    std::vector<Answer> answers_;
    std::vector<UnitCommandSeen> seen_;
    double nextAdc_ = 0;
    double adcPeriod_ = 80;  // samples between two readings of the unit
    int adcLine_ = 0;        // readings go round the lines, spread over the period
    uint64_t nextSupply_ = 0;
};

}  // namespace orvel::sim
