// CK24ReadTask: the receive side of one board ("DeviceModule"+d, down side).
//
// Active task. open() starts the board and one thread; the thread waits for
// the board's input, splits it into frames, runs each line's samples through
// the DC-blocking filter and hands every 64-sample block down the stream as a
// read record that points into this task's own unit buffers (no copy: the
// data is valid only inside the receivers' put()). Unit answers become
// acknowledgements, line-voltage read records and line-state events. A
// reactor timer checks the units' acknowledge timeouts once a second.
//
// Blocks: put() consumes what it is given — it passes every block from above
// (the traffic of higher boards) on to its next, which consumes it in turn.
// Every block this task makes is handed on and never touched again.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "board/dc_block_filter.h"
#include "board/k24_frame_parser.h"
#include "task_base.h"

class ACE_Reactor;

namespace orvel {

class CK24Device;

// Status of an acknowledgement whose unit never answered (after the codes of
// AckStatus).
inline constexpr uint32_t kAckStatusTimeout = 5;

class CK24ReadTask : public Task, private CK24FrameParser::Sink {
public:
    static constexpr size_t kReadBufferBytes = 1 << 20;  // one read of the card
    static constexpr uint32_t kUnitRate = 8000;
    static constexpr uint32_t kMaxBlock = 512;  // samples per column, 64000 Hz
    // The thread wakes at least this often to see whether the card still
    // sends; a card that sent and then stays silent this long has failed
    // (its sample streams run from the start, so silence is never normal).
    static constexpr int kInputWaitMs = 1000;
    static constexpr int kSilenceFailMs = 5000;

    CK24ReadTask(CK24Device* device, ACE_Reactor* reactor);
    ~CK24ReadTask() override;

    int open(void* args = nullptr) override;
    int close(u_long flags = 0) override;
    int put(ACE_Message_Block* mb, ACE_Time_Value* tv = nullptr) override;
    int svc() override;
    int handle_timeout(const ACE_Time_Value& now, const void* arg) override;

    // Samples per block for a unit rate: 8 ms worth.
    static uint32_t blockLength(uint32_t rate);
    const CK24FrameParser* parser() const { return parser_.get(); }

private:
    struct UnitBuffer {
        uint32_t count = 0;
        uint32_t blockLength = 64;
        uint32_t rate = kUnitRate;
        std::array<std::array<int16_t, kMaxBlock>, CK24FrameParser::kLocalChannels> columns{};
    };

    void dataFrame(uint32_t unit, const uint8_t* samples) override;
    void unitFrame(uint32_t unit, uint32_t local, uint8_t value, uint8_t command) override;

    // Fills a duplicate of the read template and hands it down.
    void sendRead(uint32_t channel, const void* data, uint32_t length, uint32_t kind);
    void sendDownBlock(ACE_Message_Block* mb);
    // One read of the card and everything in it.
    void readInput();
    // Marks the card failed once it has been silent too long.
    void watchSilence();
    static int64_t steadyMs();
    void stopDevice();
    void freeBuffers();

    CK24Device* device_;
    std::atomic<bool> stop_{false};
    // When input last came (steady clock, ms); 0 before the first.
    int64_t lastInputMs_ = 0;
    // The engine closes every board's receive side before the stream comes
    // apart; the module's own close afterwards finds nothing left to do.
    bool closed_ = false;
    long timerId_ = -1;
    uint32_t board_ = 0;
    std::array<uint32_t, CK24FrameParser::kUnits> unitChannels_{};
    std::array<uint32_t, CK24FrameParser::kUnits> firstChannel_{};
    std::vector<std::unique_ptr<UnitBuffer>> units_;  // by unit number; null when absent
    std::vector<CDcBlockingFilter> filters_;          // by channel
    std::array<uint8_t, CK24FrameParser::kUnits * CK24FrameParser::kLocalChannels> voltages_{};
    std::unique_ptr<CK24FrameParser> parser_;
    ACE_Message_Block* readTemplate_ = nullptr;
};

}  // namespace orvel
