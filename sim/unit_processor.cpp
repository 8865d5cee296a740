#include "unit_processor.h"

#include <algorithm>

namespace orvel::sim {
namespace {

constexpr uint64_t kAnswerDelay = 24;     // 3 ms from command word to answer
constexpr uint64_t kSupplyPeriod = 8000;  // supply readings once a second
constexpr size_t kMaxSeen = 20000;

// Parameter index of a get/set code pair, or -1.
int parameterIndex(int code) {
    if (code >= 1 && code <= 16) {
        return (code - 1) / 2;
    }
    if (code == kGetMinActivate || code == kSetMinActivate) {
        return 8;
    }
    return -1;
}

bool isSet(int code) {
    return (code >= 2 && code <= 16 && code % 2 == 0) || code == kSetMinActivate;
}

}  // namespace

void UnitProcessor::init(int unit, const UnitConfig& config, int adcRate,
                         std::array<ExchangeLine*, 6> lines) {
    unit_ = unit;
    config_ = config;
    lines_ = lines;
    for (auto& p : params_) {
        p = kParameterDefaults;
    }
    adcOn_.fill(false);
    reportedState_.fill(-1);
    answers_.clear();
    // Readings of all lines are spread evenly: one reading every
    // period / channels samples, going round the lines.
    int channels = std::max(1, config_.channels);
    adcPeriod_ = std::max(1.0, static_cast<double>(kSampleRate) / adcRate / channels);
    nextAdc_ = 0;
    nextSupply_ = kSupplyPeriod / 2;
}

void UnitProcessor::answer(uint64_t due, int local, int code, int value) {
    Answer a{due, local, code, value & 0xFF};
    auto at = std::upper_bound(answers_.begin(), answers_.end(), a,
                               [](const Answer& x, const Answer& y) { return x.due < y.due; });
    answers_.insert(at, a);
}

int UnitProcessor::parameterAnswer(int local, int index) const {
    int stuck = config_.stuck[index];
    return stuck >= 0 ? stuck : params_[local][index];
}

void UnitProcessor::command(uint32_t dataWord, uint64_t now) {
    int local = static_cast<int>((dataWord >> 16) & 7);
    int code = static_cast<int>((dataWord >> 8) & 0xFF);
    int value = static_cast<int>(dataWord & 0xFF);
    if (seen_.size() < kMaxSeen) {
        seen_.push_back({now, local, code, value});
    }
    bool lineExists = local < config_.channels;
    ExchangeLine* line = lineExists ? lines_[local] : nullptr;
    int index = parameterIndex(code);
    if (index >= 0 && lineExists) {
        if (isSet(code)) {
            params_[local][index] = value;
        }
        answer(now + kAnswerDelay, local, code, parameterAnswer(local, index));
        return;
    }
    switch (code) {
        case kSetPolarity:
            if (!lineExists) {
                break;
            }
            params_[local][9] = value;
            answer(now + kAnswerDelay, local, code, parameterAnswer(local, 9));
            return;
        case kGetSerial:
            answer(now + kAnswerDelay, local, code, config_.serial);
            return;
        case kGetVersion:
            answer(now + kAnswerDelay, local, code, config_.version);
            return;
        case kAdcData:
            if (!lineExists) {
                break;
            }
            adcOn_[local] = value != 0;
            return;
        case kLineKey:
            if (!lineExists) {
                if (value == 7) {
                    reset(now);
                    return;
                }
                break;
            }
            switch (value) {
                case 0:
                    line->release(now);
                    return;
                case 1:
                    line->seize(now);
                    return;
                case 2:
                    line->polarityPulse(now);
                    return;
                case 3:
                    line->note(now, "assigned");
                    reportedState_[local] = -1;
                    return;
                case 4:
                    line->note(now, "freed");
                    return;
                case 7:
                    reset(now);
                    return;
                default:
                    break;
            }
            break;
        case kPulseDigit: {
            if (!lineExists) {
                break;
            }
            if (value == 0) {
                return;  // dialling stopped: nothing to answer
            }
            int64_t after = line->startPulseDigit(value, now);
            // 0 = dialled; a line that is not seized cannot dial.
            answer(now + (after < 0 ? kAnswerDelay : static_cast<uint64_t>(after)), local, code,
                   after < 0 ? 1 : 0);
            return;
        }
        default:
            break;
    }
    answer(now + kAnswerDelay, local, kUnrecognised, code);
}

void UnitProcessor::reset(uint64_t now) {
    // The engine resets units when it frees all lines and expects them to go
    // on reporting voltages: a reset puts the lines on hook and forgets the
    // answers still due, but keeps the converter settings and parameters.
    for (int k = 0; k < config_.channels; ++k) {
        lines_[k]->release(now);
        reportedState_[k] = -1;
    }
    answers_.clear();
}

void UnitProcessor::frame(std::vector<uint8_t>& out, int local, int code, int value) const {
    out.push_back(static_cast<uint8_t>(0x08 | (unit_ & 3) | ((local & 0xF) << 4)));
    out.push_back(0x47);
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(code));
}

void UnitProcessor::tick(uint64_t now, bool send, std::vector<uint8_t>& out) {
    while (!answers_.empty() && answers_.front().due <= now) {
        const Answer& a = answers_.front();
        if (send) {
            frame(out, a.local, a.code, a.value);
        }
        answers_.erase(answers_.begin());
    }
    if (config_.channels == 0) {
        return;
    }
    if (static_cast<double>(now) >= nextAdc_) {
        nextAdc_ = std::max(nextAdc_ + adcPeriod_, static_cast<double>(now));
        int k = adcLine_;
        adcLine_ = (adcLine_ + 1) % config_.channels;
        int state = lines_[k]->unitLineState(now);
        if (state != reportedState_[k] && send) {
            reportedState_[k] = state;
            frame(out, k, kLineStateReport, state);
        }
        if (adcOn_[k]) {
            int reading = lines_[k]->voltageReading(now);
            if (send) {
                frame(out, k, kAdcData, reading);
            }
        }
    }
    if (now >= nextSupply_) {
        nextSupply_ = now + kSupplyPeriod;
        bool any = std::any_of(adcOn_.begin(), adcOn_.end(), [](bool on) { return on; });
        if (any && send) {
            frame(out, 6, kAdcData, config_.supply5);
            frame(out, 7, kAdcData, config_.supply12);
        }
    }
}

}  // namespace orvel::sim
