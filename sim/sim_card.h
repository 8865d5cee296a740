// One simulated telephony card behind the driver interface: its register
// block, control codes, input and output byte streams and events, its
// line-interface units and the exchange lines behind them.
//
// Everything is guarded by one mutex that is only ever held briefly, so a
// card never blocks the engine. Time moves only in advance(): a clock thread
// calls it in real time, tests call it by hand.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "board/driver.h"
#include "byte_fifo.h"
#include "exchange_line.h"
#include "sim_config.h"
#include "unit_processor.h"

namespace orvel::sim {

inline constexpr size_t kDataFrameBytes = 14;
inline constexpr size_t kUnitFrameBytes = 4;
inline constexpr size_t kOutputFrameBytes = 64;   // 32 samples, one per hardware channel
inline constexpr int kOutputFramesPerSample = 2;  // output runs at 16,000 frames/s
inline constexpr size_t kOutputFifoFrames = 512;  // 32 ms of output held by the card
inline constexpr size_t kInputFifoBytes = 4 << 20;

// Register command words (upper half 0x4747).
inline constexpr uint32_t kRegReset = 0x47470005;
inline constexpr uint32_t kRegInit = 0x4747000B;
inline constexpr uint32_t kRegCodecWord = 0x47470010;
inline constexpr uint32_t kRegCodecBegin = 0x47470011;
inline constexpr uint32_t kRegSelectUnit = 0x47470012;
inline constexpr uint32_t kRegUnitCommand = 0x47470018;
inline constexpr uint32_t kRegUnitRelease = 0x4747001B;
inline constexpr uint32_t kStatusCodecBusy = 0x4000;

class SimCard : public std::enable_shared_from_this<SimCard> {
public:
    SimCard(int index, const BoardConfig& board, const SimConfig& sim, const NumberPlan* plan,
            SpeechBank* speech, EventSink* sink);
    SimCard(const SimCard&) = delete;
    SimCard& operator=(const SimCard&) = delete;

    // Driver side: one handle per open(). A handle keeps its card alive.
    std::unique_ptr<driver::DeviceHandle> open();
    // The driver is going away while handles may remain: the card stops, its
    // lines no longer report to the driver, and time no longer moves.
    void orphan();

    // Moves the card `samples` input samples (1/8000 s each) forward.
    void advance(uint64_t samples);
    uint64_t now() const;

    // Inspection for tests and tools. Channels are numbered densely.
    int channelCount() const { return channelCount_; }
    uint32_t configWord() const;
    LineRecord record(int channel) const;
    void clearRecord(int channel);
    ExchangeLine::State lineState(int channel) const;
    bool lineOffHook(int channel) const;
    std::vector<UnitCommandSeen> unitCommands(int unit) const;
    int unitParameter(int channel, int index) const;
    bool codecProgrammed(int unit) const;
    bool started() const;
    uint64_t inputBytesLost() const;
    uint64_t outputFramesPlayed() const;

    // Register block operations (through the RegisterBlock handed out).
    uint32_t readRegister(unsigned word);
    void writeRegister(unsigned word, uint32_t value);
    // Handle operations.
    int control(const void* owner, uint32_t code, const void* in, size_t inSize, void* out,
                size_t outSize);
    ssize_t readInput(void* buffer, size_t size);
    ssize_t writeOutput(const void* data, size_t size);
    void handleClosed(const void* owner);

private:
    class Registers : public driver::RegisterBlock {
    public:
        explicit Registers(SimCard& card) : card_(card) {}
        uint32_t read(unsigned word) override { return card_.readRegister(word); }
        void write(unsigned word, uint32_t value) override { card_.writeRegister(word, value); }

    private:
        SimCard& card_;
    };

    struct Codec {
        std::array<uint32_t, 8> words{};
        int count = 0;
        int busyReads = 0;   // status reads before programming completes
        bool stuck = false;  // this attempt never completes
        int failuresLeft = 0;
        bool programmed = false;
    };

    void stopLocked();
    // The card has failed as its configuration says (from FailAt on).
    bool failedLocked() const;
    bool vanishedLocked() const;
    void advanceLocked(int n);
    // One output frame played (null: none was there, the card plays silence).
    void playFrameLocked(const int16_t* frame, uint64_t now);
    int localOf(int channel, int& unit) const;

    mutable std::mutex mutex_;
    int index_;
    BoardConfig board_;
    const SimConfig& sim_;
    Registers registers_{*this};
    std::array<ExchangeLine, kLinesPerBoard> lines_;  // by hardware channel u * 6 + k
    std::array<UnitProcessor, kUnitsPerBoard> units_;
    std::array<Codec, kUnitsPerBoard> codecs_;
    std::array<int, kLinesPerBoard> hardwareOf_{};  // dense channel -> hardware channel
    int channelCount_ = 0;

    uint64_t now_ = 0;
    uint32_t data_ = 0;
    int selectedUnit_ = -1;
    bool started_ = false;
    const void* starter_ = nullptr;
    driver::DeviceEvent* receiveEvent_ = nullptr;
    driver::DeviceEvent* transmitEvent_ = nullptr;
    std::array<bool, 2 * kUnitsPerBoard> streams_{};  // 2u: unit u samples, 2u+1: its unit frames
    ByteFifo input_{kInputFifoBytes};
    std::vector<int16_t> output_;  // frames of 32 samples, ring
    size_t outHead_ = 0;
    size_t outCount_ = 0;
    uint64_t framesPlayed_ = 0;
    // Output frames the card had to play as silence since its output last
    // ran dry, and per line the frame of its last sound: a line whose sound
    // was cut by it gets a note in its record.
    uint64_t dryFrames_ = 0;
    std::array<uint64_t, kLinesPerBoard> lastSoundFrame_{};
    std::array<bool, kLinesPerBoard> soundCut_{};
    std::vector<uint8_t> staging_;
};

}  // namespace orvel::sim
