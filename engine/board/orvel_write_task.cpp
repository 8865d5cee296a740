#include "board/orvel_write_task.h"

#include <ace/Guard_T.h>
#include <ace/Log_Msg.h>
#include <ace/Message_Block.h>

#include <pthread.h>
#include <chrono>
#include <new>
#include <thread>

#include "board/dtmf_tone_set.h"
#include "board/k24_driver.h"
#include "board/thread_priority.h"
#include "dsp/dsp_ops.h"
#include "media/message_file.h"

namespace orvel {
namespace {

using Guard = ACE_Guard<ACE_Recursive_Thread_Mutex>;

constexpr uint32_t kTelNumPulse = 1;  // argument 2 of CMD_SEND_TEL_NUM
constexpr uint32_t kTelNumTone = 0;
constexpr uint32_t kUnitMinActivateRead = 28;
constexpr uint32_t kUnitMinActivateSet = 29;

bool isUnitParameterCommand(uint32_t code) {
    return (code >= 1 && code <= 8) || code == kUnitMinActivateRead || code == kUnitMinActivateSet;
}

bool isReadCommand(uint32_t code) {
    return code == kUnitMinActivateRead || (code != kUnitMinActivateSet && code % 2 == 1);
}

bool isPulseDigit(uint32_t c) {
    return (c >= '0' && c <= '9') || c == ',';
}

}  // namespace

COrvelWriteTask::COrvelWriteTask(CK24Device* device, ACE_Reactor* reactor) : device_(device) {
    clock_ = [] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    };
    this->reactor(reactor);
    msg_queue()->high_water_mark(kTaskQueueWaterMark);
    msg_queue()->low_water_mark(kTaskQueueWaterMark);
}

COrvelWriteTask::~COrvelWriteTask() = default;

void COrvelWriteTask::setOutputClock(OutputClock clock) {
    Guard guard(lock_);
    if (clock) {
        clock_ = std::move(clock);
    }
}

int COrvelWriteTask::open(void*) {
    if (device_ == nullptr) {
        return -1;
    }
    channels_ = device_->channelCount();
    try {
        playback_.assign(kChannelsPerBoard, Playback{});
        finished_.reserve(kChannelsPerBoard);
        beep_.assign(kBeepSamples, 0);
    } catch (const std::bad_alloc&) {
        ACE_ERROR((LM_ERROR, ACE_TEXT(" Error generate 500 Hz tone\n")));
        return -1;
    }
    dsp::tone(beep_.data(), beep_.size(),
              static_cast<float>(kBeepHz) / static_cast<float>(kPlayRate), 0.0f,
              static_cast<float>(kBeepMagnitude));
    beepTones_.constant(kBeepHz, beep_.size());
    tones_ = sharedDtmfToneSet();
    if (!tones_) {
        return -1;
    }
    frames_.clear();
    sentBytes_ = 0;
    gapWatch_.reset();
    stop_ = false;
    return activate(THR_NEW_LWP | THR_JOINABLE, 1, 0, ACE_DEFAULT_THREAD_PRIORITY, -1);
}

int COrvelWriteTask::close(u_long flags) {
    if (flags == kCloseFromModule) {
        ACE_DEBUG((LM_DEBUG, ACE_TEXT("CloseBoard\n")));
        leaveChain();
        stop_ = true;
        if (device_ != nullptr) {
            device_->wakeOutput();
        }
        wait();
        {
            Guard guard(lock_);
            for (uint32_t ch = 0; ch < playback_.size(); ++ch) {
                playback_[ch] = Playback{};
            }
            frames_.clear();
        }
        ACE_DEBUG((LM_DEBUG, ACE_TEXT("DestroyBoard\n")));
        return 0;
    }
    // The thread has ended: every output falls silent.
    if (device_ == nullptr || !device_->isOpen()) {
        return -1;
    }
    ACE_DEBUG((LM_DEBUG, ACE_TEXT("StopDevice\n")));
    silenceOutputs();
    return 0;
}

void COrvelWriteTask::leaveChain() {
    // The stream takes the boards' modules off from the top while the boards
    // below still run, and it links the task below past this one only after
    // this one is deleted. Commands that the boards below pass up (the
    // thresholds task's, on their receive threads) would meet a deleted
    // task: the link is moved first, and puts already under way may finish.
    Module* mine = module();
    Module* below = mine != nullptr ? mine->next() : nullptr;
    Task* up = below != nullptr ? below->reader() : nullptr;
    if (up != nullptr && up->next() == this) {
        up->next(next());
    }
    do {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    } while (puts_.load() > 0);
}

void COrvelWriteTask::silenceOutputs() {
    for (uint32_t ch = 0; ch < channels_; ++ch) {
        device_->outputSwitch(device_->hardwareChannel(ch), false);
    }
    for (uint32_t u = 0; u < kUnitsPerBoard; ++u) {
        if (device_->unitChannelCount(u) > 0) {
            device_->setLineKey(device_->firstChannelOfUnit(u), kKeyReset);
        }
    }
}

int COrvelWriteTask::put(ACE_Message_Block* mb, ACE_Time_Value* tv) {
    struct InProgress {
        explicit InProgress(std::atomic<int>& n) : count(n) { ++count; }
        ~InProgress() { --count; }
        std::atomic<int>& count;
    } inProgress(puts_);
    if (mb == nullptr) {
        return -1;
    }
    CommandRecord cmd;
    if (mb->msg_type() != MB_IOCTL || !readRecord(mb, cmd)) {
        releaseBlock(mb);
        return 0;
    }
    if (device_ == nullptr || cmd.address.device != device_->deviceNumber()) {
        Task* next = this->next();
        if (isStreamEnd(next)) {
            answerInvalidAddress(this, mb);
            releaseBlock(mb);
            return 0;
        }
        return next->put(mb, tv);
    }
    releaseBlock(mb);
    handleCommand(cmd);
    return 0;
}

void COrvelWriteTask::answer(const Address& address, uint32_t type, uint32_t status,
                             uint32_t command) {
    ACE_Message_Block* ack = makeAckBlock(address, type, status, command);
    if (ack != nullptr) {
        sendDown(this, ack);
    }
}

void COrvelWriteTask::handleCommand(const CommandRecord& cmd) {
    const Address& a = cmd.address;
    const uint32_t ch = a.channel;
    const uint32_t code = cmd.code;
    if (ch >= channels_) {
        answer(a, ACKT_RECEIVE, ACKS_INVALID_ADDR, code);
        return;
    }
    const uint32_t slot = device_->hardwareChannel(ch);
    if (isUnitParameterCommand(code)) {
        answer(a, ACKT_RECEIVE, ACKS_OK, code);
        const int written = isReadCommand(code) ? device_->readParameter(ch, code)
                                                : device_->setParameter(ch, code, cmd.arg1);
        if (written != 0) {
            answer(a, ACKT_EXECUTE, ACKS_HARDWARE_ERR, code);
        }
        return;
    }
    switch (code) {
        case CMD_SEND_TEL_NUM:
            answerPlay(a, ch, dial(ch, cmd), code);
            return;
        case CMD_START_PLAY: {
            uint32_t status = ACKS_INVALID_ARG;
            {
                Guard guard(lock_);
                CSoundTable::Sound sound;
                if (sounds_.find(cmd.arg1, sound)) {
                    status = startPlayback(ch, sound.samples, sound.count, kPlayTail, sound.tones);
                }
            }
            answerPlay(a, ch, status, code);
            return;
        }
        case CMD_STOP_PLAY: {
            {
                Guard guard(lock_);
                clearPlayback(ch);
            }
            answer(a, ACKT_RECEIVE, ACKS_OK, code);
            const int off = device_->outputSwitch(slot, false);
            answer(a, ACKT_EXECUTE, off == 0 ? ACKS_OK : ACKS_HARDWARE_ERR, code);
            return;
        }
        case CMD_SEND_LINE_ASSIGN:
        case CMD_SEND_HANG_UP:
        case CMD_SEND_LINE_FREE: {
            answer(a, ACKT_RECEIVE, ACKS_OK, code);
            const int done = code == CMD_SEND_LINE_ASSIGN ? device_->assign(ch)
                             : code == CMD_SEND_HANG_UP   ? device_->offHook(ch)
                                                          : device_->free(ch);
            answer(a, ACKT_EXECUTE, done == 0 ? ACKS_OK : ACKS_HARDWARE_ERR, code);
            return;
        }
        case CMD_SEND_HANG_DOWN: {
            answer(a, ACKT_RECEIVE, ACKS_OK, code);
            {
                Guard guard(lock_);
                clearPlayback(ch);
                frames_.setFillPosition(slot, 0);
            }
            answer(a, ACKT_RECEIVE, ACKS_OK, code);
            device_->outputSwitch(slot, false);
            const int done = device_->onHook(ch);
            answer(a, ACKT_EXECUTE, done == 0 ? ACKS_OK : ACKS_HARDWARE_ERR, code);
            return;
        }
        case CMD_SOUND_PLAY: {
            uint32_t status = ACKS_OK;
            {
                Guard guard(lock_);
                status = startPlayback(ch, beep_.data(), static_cast<uint32_t>(beep_.size()),
                                       kPlayTail, &beepTones_);
            }
            answerPlay(a, ch, status, code);
            return;
        }
        case CMD_WAIT_DIAL_TONE:
            answer(a, ACKT_RECEIVE, ACKS_OK, code);
            return;
        default:
            answer(a, ACKT_RECEIVE, ACKS_UNDEFINE_CMD_TYPE, code);
            return;
    }
}

void COrvelWriteTask::answerPlay(const Address& address, uint32_t channel, uint32_t status,
                                 uint32_t command) {
    answer(address, ACKT_RECEIVE, status, command);
    if (status != ACKS_OK) {
        return;
    }
    bool ended = false;
    uint32_t endStatus = ACKS_OK;
    {
        Guard guard(lock_);
        Playback& p = playback_[channel];
        if (!p.used) {
            return;  // stopped or replaced meanwhile
        }
        p.announced = true;
        if (p.endPending) {
            ended = true;
            endStatus = p.endStatus;
            p = Playback{};
        }
    }
    if (ended) {
        answer(Address{0, device_->deviceNumber(), channel}, ACKT_EXECUTE, endStatus,
               CMD_START_PLAY);
    }
}

uint32_t COrvelWriteTask::dial(uint32_t channel, const CommandRecord& cmd) {
    Guard guard(lock_);
    const uint32_t c = cmd.arg1;
    if (cmd.arg2 == kTelNumPulse || c == ',') {
        // Only digits and the pause have pulses; anything else is refused
        // before it reaches the unit.
        if (!isPulseDigit(c)) {
            return ACKS_INVALID_ARG;
        }
        return device_->dialPulseDigit(channel, static_cast<char>(c)) == 0 ? ACKS_OK
                                                                           : ACKS_HARDWARE_ERR;
    }
    if (cmd.arg2 != kTelNumTone) {
        return ACKS_INVALID_ARG;
    }
    // Levels outside 0..5 use level 0; a character without tones is refused.
    const dsp::CDtmfToneGenerator& generator = tones_->level(static_cast<int>(cmd.arg3));
    const int16_t* tone = c < 128 ? generator.keyBuffer(static_cast<char>(c)) : nullptr;
    if (tone == nullptr) {
        return ACKS_INVALID_ARG;
    }
    const uint32_t status =
        startPlayback(channel, tone, static_cast<uint32_t>(generator.keyLength()), kDigitTail);
    playback_[channel].digit = status == ACKS_OK;
    return status;
}

uint32_t COrvelWriteTask::startPlayback(uint32_t channel, const int16_t* data, uint32_t length,
                                        uint32_t tail, const CToneMap* tones) {
    Playback& p = playback_[channel];
    p = Playback{data, length, 0, tail, true, tones};
    p.tailLength = tail;
    const uint32_t slot = device_->hardwareChannel(channel);
    if (device_->outputSwitch(slot, true) != 0) {
        clearPlayback(channel);
        return ACKS_HARDWARE_ERR;
    }
    frames_.activate(slot);
    fill(channel);
    return ACKS_OK;
}

void COrvelWriteTask::clearPlayback(uint32_t channel) {
    playback_[channel] = Playback{};
    playing_->publish(channel, 0);
    // A channel that no longer plays must not hold back the others' frames.
    frames_.deactivate(device_->hardwareChannel(channel));
}

void COrvelWriteTask::fill(uint32_t channel) {
    Playback& p = playback_[channel];
    const uint32_t slot = device_->hardwareChannel(channel);
    if (p.position < p.length) {
        p.position +=
            static_cast<uint32_t>(frames_.write(slot, p.data + p.position, p.length - p.position));
    }
    if (p.position >= p.length && p.tail > 0) {
        p.tail -= static_cast<uint32_t>(frames_.write(slot, nullptr, p.tail));
    }
    // What was just handed to the card reaches the line within the frames
    // prepared ahead; the analysis keeps it in mind longer than that.
    playing_->publish(channel,
                      p.tones != nullptr && p.position > 0 ? p.tones->at(p.position - 1) : 0);
}

int COrvelWriteTask::svc() {
    pthread_setname_np(pthread_self(), "orvel-write");
    raiseBoardThreadPriority("COrvelWriteTask");
    for (;;) {
        if (stop_) {
            ACE_DEBUG((LM_DEBUG, ACE_TEXT("COrvelWriteTask::SVC leave\n")));
            return 0;
        }
        try {
            const int waited = device_->waitForOutput(kOutputWaitMs);
            if (stop_) {
                ACE_DEBUG((LM_DEBUG, ACE_TEXT("COrvelWriteTask::svc Terminate\n")));
                return 0;
            }
            if (waited == driver::DeviceEvent::TimedOut) {
                ACE_DEBUG((LM_DEBUG, ACE_TEXT("BoardTxTimeOut\n")));
                continue;
            }
        } catch (...) {
            ACE_DEBUG((LM_DEBUG, ACE_TEXT(" Exception in COrvelWriteTask 1::svc\n")));
        }
        serviceOutput();
    }
}

void COrvelWriteTask::serviceOutput() {
    finished_.clear();
    {
        Guard guard(lock_);
        ssize_t written = 0;
        try {
            written = writeReady();
        } catch (...) {
            ACE_DEBUG((LM_DEBUG, ACE_TEXT(" Exception in COrvelWriteTask 2::svc\n")));
        }
        if (written == 0) {
            return;
        }
        try {
            refill(finished_);
        } catch (...) {
            ACE_DEBUG((LM_DEBUG, ACE_TEXT(" Exception in COrvelWriteTask 5::svc\n")));
        }
    }
    for (const Answer& a : finished_) {
        answer(a.address, a.type, a.status, a.command);
    }
}

ssize_t COrvelWriteTask::writeReady() {
    const size_t bytes = frames_.ready() * COutputFrames::kFrameBytes;
    driver::DeviceHandle* handle = device_->handle();
    if (bytes <= sentBytes_ || handle == nullptr) {
        return 0;
    }
    const double before = clock_();
    const ssize_t n = handle->write(frames_.data() + sentBytes_, bytes - sentBytes_);
    const double after = clock_();
    if (n < 0) {
        ACE_DEBUG((LM_DEBUG, ACE_TEXT(" ERROR in COrvelWriteTask 2: bytes_write==-1 ::svc\n")));
        return n;
    }
    const auto offered = static_cast<uint32_t>((bytes - sentBytes_) / COutputFrames::kFrameBytes);
    const auto taken = static_cast<uint32_t>(static_cast<size_t>(n) / COutputFrames::kFrameBytes);
    if (const uint32_t gap = gapWatch_.written(before, after, offered, taken); gap > 0) {
        ACE_DEBUG((LM_DEBUG, ACE_TEXT(" Device %u : output ran dry for %u ms\n"),
                   device_->deviceNumber(), static_cast<uint32_t>(gap * 1000.0 / kPlayRate)));
        markCutDigits(gap);
    }
    const size_t total = sentBytes_ + static_cast<size_t>(n);
    const auto whole = static_cast<uint32_t>(total / COutputFrames::kFrameBytes);
    sentBytes_ = total % COutputFrames::kFrameBytes;
    if (whole > 0) {
        try {
            frames_.consumed(whole);
        } catch (...) {
            ACE_DEBUG(
                (LM_DEBUG,
                 ACE_TEXT(" Exception in COrvelWriteTask 2: m_ChannelsFrames.resetFrames::svc\n")));
        }
    }
    return n;
}

void COrvelWriteTask::markCutDigits(uint32_t gapFrames) {
    for (uint32_t ch = 0; ch < channels_; ++ch) {
        Playback& p = playback_[ch];
        if (!p.used || !p.digit || p.broken) {
            continue;
        }
        // What of this channel went to the card before this write: all it
        // wrote into the frames but what still waits in them.
        const uint32_t intoFrames = p.position + (p.tailLength - p.tail);
        const uint32_t waiting = frames_.fillPosition(device_->hardwareChannel(ch));
        const uint32_t sent = intoFrames > waiting ? intoFrames - waiting : 0;
        if (sent > 0 && sent < p.length) {
            p.broken = true;
            ACE_DEBUG((LM_DEBUG,
                       ACE_TEXT(" Device %u Channel %u : output ran dry for %u ms in a tone "
                                "digit, the digit is broken\n"),
                       device_->deviceNumber(), ch,
                       static_cast<uint32_t>(gapFrames * 1000.0 / kPlayRate)));
        }
    }
}

void COrvelWriteTask::refill(std::vector<Answer>& finished) {
    const uint32_t board = device_->deviceNumber();
    for (uint32_t ch = 0; ch < channels_; ++ch) {
        Playback& p = playback_[ch];
        if (!p.used || p.endPending) {
            continue;
        }
        if (p.position < p.length || p.tail > 0) {
            fill(ch);
            continue;
        }
        const uint32_t slot = device_->hardwareChannel(ch);
        try {
            if (frames_.fillPosition(slot) == 0) {
                // Its last samples have gone to the card.
                ACE_DEBUG((LM_DEBUG, ACE_TEXT(" Channel %d OFF\n"), ch));
                const int off = device_->outputSwitch(slot, false);
                // A digit the card cut in two may have reached the exchange
                // as two: the call algorithm must not go on with the number.
                const uint32_t status = off == 0 && !p.broken ? ACKS_OK : ACKS_HARDWARE_ERR;
                playing_->publish(ch, 0);
                if (p.announced) {
                    finished.push_back(
                        {Address{0, board, ch}, ACKT_EXECUTE, status, CMD_START_PLAY});
                    p = Playback{};
                } else {
                    p.endPending = true;  // answerPlay sends it after the receipt
                    p.endStatus = status;
                }
            }
        } catch (...) {
            ACE_DEBUG((LM_DEBUG, ACE_TEXT(" Exception in COrvelWriteTask 4::svc\n")));
        }
        frames_.deactivate(slot);
    }
}

int COrvelWriteTask::loadSound(const char* path, int messageNumber) {
    if (path == nullptr) {
        return -1;
    }
    std::unique_ptr<CWavFileReader> reader = loadMessageFile(path);
    if (!reader) {
        return -1;
    }
    // Made once here, outside the transmit lock: which steady tones the
    // sound holds, and where.
    CToneMap tones;
    if (!tones.build(reader->samples16(),
                     reader->samples16() != nullptr ? reader->sampleCount() : 0)) {
        ACE_DEBUG((LM_DEBUG, ACE_TEXT(" Tones of message %d not analysed\n"), messageNumber));
    }
    std::unique_ptr<CWavFileReader> old;
    {
        Guard guard(lock_);
        old = sounds_.replace(static_cast<uint32_t>(messageNumber), std::move(reader),
                              std::move(tones));
        if (old) {
            // Channels still playing the old samples finish with the beep.
            const CSoundTable::Sound gone = CSoundTable::soundOf(*old);
            for (Playback& p : playback_) {
                if (p.used && p.data == gone.samples && gone.samples != nullptr) {
                    const bool announced = p.announced;
                    p = Playback{
                        beep_.data(), static_cast<uint32_t>(beep_.size()), 0, kPlayTail, true,
                        &beepTones_};
                    p.announced = announced;
                }
            }
        }
    }
    return 0;
}

}  // namespace orvel
