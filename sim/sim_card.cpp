#include "sim_card.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

namespace orvel::sim {
namespace {

constexpr int kBatch = 256;         // samples rendered per step of advance()
constexpr int kCodecBusyReads = 2;  // status reads while the codec takes its words
constexpr int kSlots = 32;          // samples in one output frame

class SimHandle final : public driver::DeviceHandle {
public:
    explicit SimHandle(std::shared_ptr<SimCard> card) : card_(std::move(card)) {}
    ~SimHandle() override { card_->handleClosed(this); }
    int ioctl(uint32_t code, const void* in, std::size_t inSize, void* out,
              std::size_t outSize) override {
        return card_->control(this, code, in, inSize, out, outSize);
    }
    ssize_t read(void* buffer, std::size_t size) override { return card_->readInput(buffer, size); }
    ssize_t write(const void* data, std::size_t size) override {
        return card_->writeOutput(data, size);
    }

private:
    std::shared_ptr<SimCard> card_;
};

}  // namespace

SimCard::SimCard(int index, const BoardConfig& board, const SimConfig& sim, const NumberPlan* plan,
                 SpeechBank* speech, EventSink* sink)
    : index_(index), board_(board), sim_(sim), output_(kOutputFifoFrames * kSlots) {
    int dense = 0;
    for (int u = 0; u < kUnitsPerBoard; ++u) {
        std::array<ExchangeLine*, 6> unitLines{};
        for (int k = 0; k < kLinesPerUnit; ++k) {
            unitLines[k] = &lines_[u * kLinesPerUnit + k];
        }
        for (int k = 0; k < board_.units[u].channels; ++k) {
            hardwareOf_[dense] = u * kLinesPerUnit + k;
            lines_[u * kLinesPerUnit + k].init(index, dense, board_.lines[dense], sim, plan, speech,
                                               sink);
            ++dense;
        }
        units_[u].init(u, board_.units[u], sim.adcRate, unitLines);
        codecs_[u].failuresLeft = board_.units[u].codecFailures;
    }
    channelCount_ = dense;
    staging_.reserve(kBatch * (kDataFrameBytes * kUnitsPerBoard + 64));
}

std::unique_ptr<driver::DeviceHandle> SimCard::open() {
    return std::make_unique<SimHandle>(shared_from_this());
}

void SimCard::orphan() {
    std::lock_guard<std::mutex> lock(mutex_);
    stopLocked();
    for (auto& line : lines_) {
        line.detachSink();
    }
}

uint64_t SimCard::now() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return now_;
}

uint32_t SimCard::configWord() const {
    uint32_t word = (board_.version & 0xFFF) << 12;
    for (int u = 0; u < kUnitsPerBoard; ++u) {
        word |= static_cast<uint32_t>(board_.units[u].channels & 7) << (4 * u);
        word |= (board_.units[u].option ? 1u : 0u) << (4 * u + 3);
    }
    return word;
}

bool SimCard::failedLocked() const {
    return board_.failAt >= 0 && static_cast<double>(now_) >= board_.failAt * kSampleRate;
}

bool SimCard::vanishedLocked() const {
    return board_.failure == CardFailure::Vanish && failedLocked();
}

uint32_t SimCard::readRegister(unsigned word) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (vanishedLocked()) {
        return 0xFFFFFFFF;  // nothing answers on the bus
    }
    switch (word) {
        case driver::RegisterBlock::kData:
            return data_;
        case driver::RegisterBlock::kCommand: {
            uint32_t status = 0;
            for (int u = 0; u < kUnitsPerBoard; ++u) {
                Codec& c = codecs_[u];
                if (c.stuck) {
                    status |= kStatusCodecBusy;
                } else if (c.busyReads > 0) {
                    status |= kStatusCodecBusy;
                    if (--c.busyReads == 0) {
                        c.programmed = true;
                    }
                }
                if (units_[u].busy()) {
                    status |= 0x10u << u;
                }
            }
            return status;
        }
        case driver::RegisterBlock::kConfig:
            return configWord();
        default:
            return 0xFFFFFFFF;
    }
}

void SimCard::writeRegister(unsigned word, uint32_t value) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (failedLocked()) {
        return;
    }
    if (word == driver::RegisterBlock::kData) {
        data_ = value;
        return;
    }
    if (word != driver::RegisterBlock::kCommand) {
        return;
    }
    if (value == kRegSelectUnit) {
        selectedUnit_ =
            data_ < static_cast<uint32_t>(kUnitsPerBoard) ? static_cast<int>(data_) : -1;
        if (selectedUnit_ >= 0) {
            codecs_[selectedUnit_].count = 0;
            codecs_[selectedUnit_].stuck = false;
        }
    } else if (value == kRegCodecBegin) {
        if (selectedUnit_ >= 0) {
            codecs_[selectedUnit_].count = 0;
        }
    } else if (value == kRegCodecWord) {
        if (selectedUnit_ < 0) {
            return;
        }
        Codec& c = codecs_[selectedUnit_];
        c.words[c.count % 8] = data_;
        if (++c.count == 8) {
            c.programmed = false;
            if (c.failuresLeft > 0) {
                --c.failuresLeft;
                c.stuck = true;
            } else {
                c.busyReads = kCodecBusyReads;
            }
        }
    } else if (value >= kRegUnitCommand && value < kRegUnitCommand + kUnitsPerBoard) {
        int u = static_cast<int>(value - kRegUnitCommand);
        if (!units_[u].busy()) {
            units_[u].command(data_, now_);
        }
    }
    // kRegReset, kRegInit and kRegUnitRelease change nothing the engine can see.
}

int SimCard::control(const void* owner, uint32_t code, const void* in, size_t inSize, void* out,
                     size_t outSize) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (vanishedLocked()) {
        errno = ENODEV;
        return -1;
    }
    switch (code) {
        case driver::IOCTL_GET_REGISTERS: {
            if (out == nullptr || outSize < sizeof(driver::RegistersInfo)) {
                errno = EINVAL;
                return -1;
            }
            driver::RegistersInfo info;
            info.initialised = board_.initialised ? 1 : 0;
            info.registers = &registers_;
            std::memcpy(out, &info, sizeof info);
            return 0;
        }
        case driver::IOCTL_START: {
            if (in == nullptr || inSize < sizeof(driver::StartRecord)) {
                errno = EINVAL;
                return -1;
            }
            driver::StartRecord rec;
            std::memcpy(&rec, in, sizeof rec);
            receiveEvent_ = rec.receiveEvent;
            transmitEvent_ = rec.transmitEvent;
            started_ = true;
            starter_ = owner;
            input_.clear();
            outHead_ = outCount_ = 0;
            return 0;
        }
        case driver::IOCTL_STOP:
            stopLocked();
            return 0;
        case driver::IOCTL_STREAM_SWITCH: {
            if (in == nullptr || inSize < sizeof(driver::StreamSwitchRecord)) {
                errno = EINVAL;
                return -1;
            }
            driver::StreamSwitchRecord rec;
            std::memcpy(&rec, in, sizeof rec);
            if (rec.mode == 0 && rec.index < streams_.size() && rec.value <= 1) {
                streams_[rec.index] = rec.value != 0;
                return 0;
            }
            if (rec.mode == 1 && rec.index < static_cast<uint32_t>(kLinesPerBoard)) {
                // The line-control output switch: the card always mixes every
                // channel's output into its line, so it only checks the slot.
                return 0;
            }
            errno = EINVAL;
            return -1;
        }
        default:
            errno = EINVAL;
            return -1;
    }
}

void SimCard::stopLocked() {
    started_ = false;
    starter_ = nullptr;
    receiveEvent_ = nullptr;
    transmitEvent_ = nullptr;
    streams_.fill(false);
    input_.clear();
    outHead_ = outCount_ = 0;
}

void SimCard::handleClosed(const void* owner) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (started_ && starter_ == owner) {
        stopLocked();
    }
}

ssize_t SimCard::readInput(void* buffer, size_t size) {
    if (buffer == nullptr && size > 0) {
        errno = EFAULT;
        return -1;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (vanishedLocked()) {
        errno = ENODEV;
        return -1;
    }
    return static_cast<ssize_t>(input_.pop(static_cast<uint8_t*>(buffer), size));
}

ssize_t SimCard::writeOutput(const void* data, size_t size) {
    if (data == nullptr && size > 0) {
        errno = EFAULT;
        return -1;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (vanishedLocked()) {
        errno = ENODEV;
        return -1;
    }
    if (!started_ || failedLocked()) {
        return 0;
    }
    size_t frames = std::min(size / kOutputFrameBytes, kOutputFifoFrames - outCount_);
    const auto* bytes = static_cast<const uint8_t*>(data);
    for (size_t f = 0; f < frames; ++f) {
        size_t slot = (outHead_ + outCount_) % kOutputFifoFrames;
        int16_t* dst = &output_[slot * kSlots];
        for (int s = 0; s < kSlots; ++s) {
            const uint8_t* p = bytes + f * kOutputFrameBytes + 2 * s;
            dst[s] = static_cast<int16_t>(p[0] | (p[1] << 8));
        }
        ++outCount_;
    }
    return static_cast<ssize_t>(frames * kOutputFrameBytes);
}

void SimCard::advance(uint64_t samples) {
    std::lock_guard<std::mutex> lock(mutex_);
    while (samples > 0) {
        if (failedLocked()) {
            // A dead card makes nothing: no input, no events, its lines frozen.
            now_ += samples;
            return;
        }
        uint64_t room = samples;
        if (board_.failAt >= 0) {
            room = std::min<uint64_t>(
                room, static_cast<uint64_t>(std::ceil(board_.failAt * kSampleRate)) - now_);
        }
        int n = static_cast<int>(std::min<uint64_t>(room, kBatch));
        advanceLocked(n);
        samples -= n;
    }
    if (started_) {
        if (receiveEvent_ != nullptr && input_.size() > 0) {
            receiveEvent_->signal();
        }
        if (transmitEvent_ != nullptr && outCount_ <= kOutputFifoFrames / 2) {
            transmitEvent_->signal();
        }
    }
}

void SimCard::advanceLocked(int n) {
    static thread_local int16_t in[kLinesPerBoard][kBatch];
    static thread_local int16_t out[kLinesPerBoard][kBatch * kOutputFramesPerSample];
    // The network's side of every line for this stretch.
    for (int u = 0; u < kUnitsPerBoard; ++u) {
        for (int k = 0; k < board_.units[u].channels; ++k) {
            lines_[u * kLinesPerUnit + k].render(in[u * kLinesPerUnit + k], n, now_);
        }
    }
    // What the engine wrote goes out at two frames per input sample.
    int outFrames = n * kOutputFramesPerSample;
    for (int f = 0; f < outFrames; ++f) {
        const int16_t* frame = nullptr;
        if (started_ && outCount_ > 0) {
            frame = &output_[outHead_ * kSlots];
            outHead_ = (outHead_ + 1) % kOutputFifoFrames;
            --outCount_;
            ++framesPlayed_;
        }
        playFrameLocked(frame, now_ + static_cast<uint64_t>(f / kOutputFramesPerSample));
        for (int h = 0; h < kLinesPerBoard; ++h) {
            out[h][f] = frame != nullptr ? frame[h] : 0;
        }
    }
    for (int u = 0; u < kUnitsPerBoard; ++u) {
        for (int k = 0; k < board_.units[u].channels; ++k) {
            int h = u * kLinesPerUnit + k;
            lines_[h].hear(out[h], outFrames, now_);
        }
    }
    // The input byte stream: per sample one data frame per unit, with the
    // unit frames due at that moment after it.
    staging_.clear();
    for (int i = 0; i < n; ++i) {
        uint64_t t = now_ + i;
        for (int u = 0; u < kUnitsPerBoard; ++u) {
            int channels = board_.units[u].channels;
            if (channels == 0) {
                continue;
            }
            if (started_ && streams_[2 * u] && codecs_[u].programmed) {
                staging_.push_back(static_cast<uint8_t>(u & 3));
                staging_.push_back(0x47);
                for (int k = 0; k < kLinesPerUnit; ++k) {
                    int16_t s = k < channels ? in[u * kLinesPerUnit + k][i] : 0;
                    staging_.push_back(static_cast<uint8_t>(s & 0xFF));
                    staging_.push_back(static_cast<uint8_t>((s >> 8) & 0xFF));
                }
            }
            units_[u].tick(t, started_ && streams_[2 * u + 1], staging_);
        }
    }
    if (!staging_.empty()) {
        input_.push(staging_.data(), staging_.size());
    }
    now_ += n;
}

void SimCard::playFrameLocked(const int16_t* frame, uint64_t now) {
    // A sound is cut when the card runs dry within a few frames of its last
    // non-zero sample (a tone passes through zero now and then).
    constexpr uint64_t kSoundFrames = 16;
    if (frame == nullptr) {
        if (started_ && dryFrames_++ == 0) {
            for (int h = 0; h < kLinesPerBoard; ++h) {
                soundCut_[h] =
                    lastSoundFrame_[h] > 0 && framesPlayed_ - lastSoundFrame_[h] < kSoundFrames;
            }
        }
        return;
    }
    if (dryFrames_ > 0) {
        // Something a real card plays only when its computer is too late
        // to feed it: a tone digit cut so reaches the exchange as two.
        const auto ms = std::to_string(dryFrames_ * 1000 / (kSampleRate * kOutputFramesPerSample));
        for (int h = 0; h < kLinesPerBoard; ++h) {
            if (soundCut_[h]) {
                lines_[h].note(now, "the card's output ran dry for " + ms + " ms in a sound");
                soundCut_[h] = false;
            }
        }
        dryFrames_ = 0;
    }
    for (int h = 0; h < kLinesPerBoard; ++h) {
        if (frame[h] != 0) {
            lastSoundFrame_[h] = framesPlayed_;
        }
    }
}

int SimCard::localOf(int channel, int& unit) const {
    if (channel < 0 || channel >= channelCount_) {
        unit = -1;
        return -1;
    }
    int h = hardwareOf_[channel];
    unit = h / kLinesPerUnit;
    return h % kLinesPerUnit;
}

LineRecord SimCard::record(int channel) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (channel < 0 || channel >= channelCount_) {
        return {};
    }
    return lines_[hardwareOf_[channel]].record();
}

void SimCard::clearRecord(int channel) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (channel >= 0 && channel < channelCount_) {
        lines_[hardwareOf_[channel]].clearRecord();
    }
}

ExchangeLine::State SimCard::lineState(int channel) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (channel < 0 || channel >= channelCount_) {
        return ExchangeLine::State::Dead;
    }
    return lines_[hardwareOf_[channel]].state();
}

bool SimCard::lineOffHook(int channel) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return channel >= 0 && channel < channelCount_ && lines_[hardwareOf_[channel]].offHook();
}

std::vector<UnitCommandSeen> SimCard::unitCommands(int unit) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (unit < 0 || unit >= kUnitsPerBoard) {
        return {};
    }
    return units_[unit].commandsSeen();
}

int SimCard::unitParameter(int channel, int index) const {
    std::lock_guard<std::mutex> lock(mutex_);
    int unit = 0;
    int local = localOf(channel, unit);
    if (local < 0 || index < 0 || index >= kUnitParameters) {
        return -1;
    }
    return units_[unit].parameter(local, index);
}

bool SimCard::codecProgrammed(int unit) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return unit >= 0 && unit < kUnitsPerBoard && codecs_[unit].programmed;
}

bool SimCard::started() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return started_;
}

uint64_t SimCard::inputBytesLost() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return input_.lost();
}

uint64_t SimCard::outputFramesPlayed() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return framesPlayed_;
}

}  // namespace orvel::sim
