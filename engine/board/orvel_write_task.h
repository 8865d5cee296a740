// COrvelWriteTask: the transmit side of one board ("DeviceModule"+d, up side).
//
// Active task. put() runs on the sender's thread: a command for this board is
// carried out here (line keys, dialling, unit parameters, starting and
// stopping playback) and answered down the stream through the sibling's
// next; a command for another board goes on up, and the top board answers
// ACKS_INVALID_ADDR itself (above it is only the stream head, which would
// keep the block where nobody reads it). The thread feeds the card's output
// stream with whatever every channel plays — messages, the 500 Hz beep, DTMF
// digits, all at 16000 Hz — and reports each play's end as ACKT_EXECUTE of
// CMD_START_PLAY once its last samples and silence tail went to the card.
//
// Blocks: put() consumes every block it is given (handles and releases it,
// or passes it on to the next task up, which consumes it). Acknowledgements
// are sent after the transmit lock is released, so that whatever they meet
// on their way down may take its own lock.
#pragma once

#include <ace/Recursive_Thread_Mutex.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "board/output_frames.h"
#include "board/output_gap_watch.h"
#include "board/sound_table.h"
#include "dsp/dtmf_tone_generator.h"
#include "task_base.h"

class ACE_Reactor;

namespace orvel {

class CK24Device;

class COrvelWriteTask : public Task {
public:
    static constexpr uint32_t kPlayRate = 16000;
    static constexpr uint32_t kBeepHz = 500;
    static constexpr uint32_t kBeepMagnitude = 32000;
    static constexpr uint32_t kBeepSamples = 8000;  // 0.5 s
    static constexpr uint32_t kPlayTail = 1600;     // 0.1 s of silence after a message or beep
    static constexpr uint32_t kDigitTail = 3200;    // 0.2 s after a tone digit
    static constexpr int kOutputWaitMs = 30000;

    COrvelWriteTask(CK24Device* device, ACE_Reactor* reactor);
    ~COrvelWriteTask() override;

    int open(void* args = nullptr) override;
    int close(u_long flags = 0) override;
    int put(ACE_Message_Block* mb, ACE_Time_Value* tv = nullptr) override;
    int svc() override;

    // Loads a message file under a message number for playing: 16-bit mono
    // PCM at 16000 Hz, prepared for the line. 0, or -1 when the file cannot
    // be used (the message loaded before under that number stays).
    int loadSound(const char* path, int messageNumber);

    // The system clock the output gaps are measured on, in seconds; tests
    // give a clock of their own. Set before the first command.
    using OutputClock = std::function<double()>;
    void setOutputClock(OutputClock clock);

    const std::vector<int16_t>& beep() const { return beep_; }
    // The steady tones each channel plays now, for the board's analysis.
    std::shared_ptr<const CPlayingTones> playingTones() const { return playing_; }

private:
    struct Playback {
        const int16_t* data = nullptr;
        uint32_t length = 0;  // samples
        uint32_t position = 0;
        uint32_t tail = 0;  // silence still to write after the samples
        bool used = false;
        const CToneMap* tones = nullptr;  // none for tone digits
        // The command's ACKT_RECEIVE has gone down. Until it has, the end of
        // play waits: an algorithm must never see the execution before the
        // receipt, however quickly a short digit is played out.
        bool announced = false;
        bool endPending = false;
        uint32_t endStatus = 0;
        uint32_t tailLength = 0;
        bool digit = false;   // a dialled tone digit
        bool broken = false;  // the card went silent in the middle of its tone
    };
    struct Answer {
        Address address;
        uint32_t type;
        uint32_t status;
        uint32_t command;
    };

    void handleCommand(const CommandRecord& cmd);
    uint32_t dial(uint32_t channel, const CommandRecord& cmd);
    // Under the transmit lock: a new play on the channel; its status.
    uint32_t startPlayback(uint32_t channel, const int16_t* data, uint32_t length, uint32_t tail,
                           const CToneMap* tones = nullptr);
    void clearPlayback(uint32_t channel);
    // Under the transmit lock: as many of the channel's samples as fit.
    void fill(uint32_t channel);
    // Step of the thread: ready frames to the card, then refill.
    void serviceOutput();
    ssize_t writeReady();
    // Under the transmit lock, before the frames just written are dropped:
    // every tone digit whose tone had partly gone to the card when the card
    // ran dry is broken.
    void markCutDigits(uint32_t gapFrames);
    void refill(std::vector<Answer>& finished);
    void answer(const Address& address, uint32_t type, uint32_t status, uint32_t command);
    // Sends the receipt of a play command, then the end of play if it came first.
    void answerPlay(const Address& address, uint32_t channel, uint32_t status, uint32_t command);
    void silenceOutputs();
    // Takes this task out of the up-side chain before it goes (see close).
    void leaveChain();

    CK24Device* device_;
    std::atomic<bool> stop_{false};
    uint32_t channels_ = 0;
    ACE_Recursive_Thread_Mutex lock_;  // playback table, sound table, output frames
    COutputFrames frames_;
    size_t sentBytes_ = 0;  // of the first ready frame, when the card took part of it
    COutputGapWatch gapWatch_;
    OutputClock clock_;
    std::vector<Playback> playback_;
    CSoundTable sounds_;
    std::vector<int16_t> beep_;
    CToneMap beepTones_;
    std::shared_ptr<CPlayingTones> playing_ = std::make_shared<CPlayingTones>();
    std::shared_ptr<const dsp::CDtmfToneBank> tones_;
    std::vector<Answer> finished_;  // reused by the thread
    std::atomic<int> puts_{0};      // put() calls in progress
};

}  // namespace orvel
