#include "board/k24_read_task.h"

#include <ace/Log_Msg.h>
#include <ace/Message_Block.h>
#include <ace/Reactor.h>

#include <pthread.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <new>
#include <thread>

#include "board/k24_driver.h"
#include "board/thread_priority.h"

namespace orvel {
namespace {

// Unit parameters read from every line at start (read codes: fail, activate
// and ring level, maximum ring pause, the four caller-number request
// parameters, minimum activate level).
constexpr uint32_t kStartReads[] = {1, 3, 5, 7, 9, 11, 13, 15, 28};
constexpr uint32_t kUnitPulseDigitCode = 27;
constexpr uint32_t kUnitAdcDataCode = 24;

}  // namespace

CK24ReadTask::CK24ReadTask(CK24Device* device, ACE_Reactor* reactor) : device_(device) {
    this->reactor(reactor);
    msg_queue()->high_water_mark(kTaskQueueWaterMark);
    msg_queue()->low_water_mark(kTaskQueueWaterMark);
}

CK24ReadTask::~CK24ReadTask() {
    freeBuffers();
}

uint32_t CK24ReadTask::blockLength(uint32_t rate) {
    switch (rate) {
        case 16000:
            return 128;
        case 32000:
            return 256;
        case 64000:
            return 512;
        default:
            return 64;
    }
}

int CK24ReadTask::open(void*) {
    if (device_ == nullptr || !device_->isOpen()) {
        return -1;
    }
    board_ = device_->deviceNumber();
    for (uint32_t u = 0; u < CK24FrameParser::kUnits; ++u) {
        unitChannels_[u] = device_->unitChannelCount(u);
        firstChannel_[u] = device_->firstChannelOfUnit(u);
    }
    stop_ = false;
    try {
        units_.clear();
        units_.resize(CK24FrameParser::kUnits);
        filters_.assign(kChannelsPerBoard, CDcBlockingFilter{});
        for (uint32_t u = 0; u < CK24FrameParser::kUnits; ++u) {
            if (unitChannels_[u] == 0) {
                continue;
            }
            units_[u] = std::make_unique<UnitBuffer>();
            units_[u]->rate = kUnitRate;
            units_[u]->blockLength = blockLength(kUnitRate);
            for (uint32_t k = 0; k < unitChannels_[u]; ++k) {
                filters_[firstChannel_[u] + k].init(kUnitRate);
            }
        }
        parser_ = std::make_unique<CK24FrameParser>(kReadBufferBytes);
        parser_->setLayout(unitChannels_);
    } catch (const std::bad_alloc&) {
        freeBuffers();
        errno = ENOMEM;
        return -1;
    }
    readTemplate_ = new (std::nothrow) ACE_Message_Block(
        kReadRecordSize, static_cast<ACE_Message_Block::ACE_Message_Type>(MB_READ));
    if (readTemplate_ == nullptr || readTemplate_->base() == nullptr) {
        freeBuffers();
        errno = ENOMEM;
        return -1;
    }

    timerId_ = reactor() != nullptr
                   ? reactor()->schedule_timer(this, nullptr, ACE_Time_Value(1), ACE_Time_Value(1))
                   : -1;
    if (timerId_ == -1) {
        ACE_ERROR((LM_EMERGENCY, ACE_TEXT("%p\n"), ACE_TEXT(" K24ReadTask error shedule timer:")));
    }
    if (activate(THR_NEW_LWP | THR_JOINABLE, 1, 0, ACE_DEFAULT_THREAD_PRIORITY, -1) == -1) {
        close(kCloseFromModule);
        return -1;
    }

    device_->writeStopWord();
    const int started = device_->start();
    if (started != 0) {
        close(kCloseFromModule);
        return started;
    }
    bool anyUnit = false;
    for (uint32_t u = 0; u < CK24FrameParser::kUnits; ++u) {
        if (unitChannels_[u] == 0) {
            continue;
        }
        if (device_->setUnitSampleRate(u, units_[u]->rate, true) != 0) {
            device_->disableUnit(u);
            continue;
        }
        anyUnit = true;
        device_->streamSwitch(2 * u + 1, 1);
        device_->requestVersion(u);
        device_->requestSerial(u);
        if (device_->unitOption(u) == 0) {
            for (uint32_t k = 0; k < unitChannels_[u]; ++k) {
                for (uint32_t code : kStartReads) {
                    device_->readParameter(firstChannel_[u] + k, code);
                }
            }
        }
    }
    if (!anyUnit) {
        close(kCloseFromModule);
        return -1;
    }
    return 0;
}

int CK24ReadTask::close(u_long flags) {
    if (flags == kCloseFromModule) {
        if (closed_) {
            return 0;
        }
        closed_ = true;
        ACE_DEBUG((LM_DEBUG, ACE_TEXT("CloseBoard\n")));
        stop_ = true;
        if (timerId_ != -1 && reactor() != nullptr) {
            reactor()->cancel_timer(timerId_);
        }
        timerId_ = -1;
        if (device_ != nullptr) {
            device_->wakeInput();
        }
        wait();
        ACE_DEBUG((LM_DEBUG, ACE_TEXT("DestroyBoard\n")));
        freeBuffers();
        return 0;
    }
    // The thread has ended: the card is stopped.
    if (device_ == nullptr || !device_->isOpen()) {
        return -1;
    }
    ACE_DEBUG((LM_DEBUG, ACE_TEXT("StopDevice\n")));
    stopDevice();
    return 0;
}

void CK24ReadTask::stopDevice() {
    const uint32_t channels = device_->channelCount();
    for (uint32_t ch = 0; ch < channels; ++ch) {
        device_->writeUnitCommand(ch, kUnitAdcDataCode, 0);
        device_->writeUnitCommand(ch, kUnitPulseDigitCode, 0);
    }
    for (uint32_t u = 0; u < CK24FrameParser::kUnits; ++u) {
        if (unitChannels_[u] > 0) {
            device_->disableUnit(u);
        }
    }
    device_->stop();
    device_->writeStopWord();
}

void CK24ReadTask::freeBuffers() {
    units_.clear();
    parser_.reset();
    if (readTemplate_ != nullptr) {
        readTemplate_->release();
        readTemplate_ = nullptr;
    }
}

int CK24ReadTask::put(ACE_Message_Block* mb, ACE_Time_Value*) {
    return passOn(this, mb);
}

int CK24ReadTask::svc() {
    pthread_setname_np(pthread_self(), "orvel-read");
    raiseBoardThreadPriority("CK24ReadTask");
    if (!StreamGate::waitOpen(stop_)) {
        ACE_DEBUG((LM_DEBUG, ACE_TEXT("SVC leave\n")));
        return 0;
    }
    for (;;) {
        if (stop_) {
            ACE_DEBUG((LM_DEBUG, ACE_TEXT("SVC leave\n")));
            return 0;
        }
        try {
            const int waited = device_->waitForInput(kInputWaitMs);
            if (stop_) {
                ACE_DEBUG((LM_DEBUG, ACE_TEXT("CK24ReadTask::svc Terminate\n")));
                return 0;
            }
            if (waited == driver::DeviceEvent::TimedOut) {
                ACE_DEBUG((LM_DEBUG, ACE_TEXT("BoardRxTimeOut\n")));
            } else {
                readInput();
            }
            watchSilence();
        } catch (...) {
            ACE_DEBUG((LM_DEBUG, ACE_TEXT(" Unknown Exception in CK24ReadTask::svc\n\n")));
        }
    }
}

void CK24ReadTask::readInput() {
    driver::DeviceHandle* handle = device_->handle();
    if (handle == nullptr || !parser_) {
        std::this_thread::yield();
        return;
    }
    // Signals that come while the thread works count as one: read until the
    // card has nothing more.
    for (;;) {
        const ssize_t n = handle->read(parser_->readPointer(), parser_->readRoom());
        if (n < 0) {
            parser_->dropCarry();
            std::this_thread::yield();
            return;
        }
        if (n == 0) {
            return;
        }
        lastInputMs_ = steadyMs();
        parser_->commit(static_cast<size_t>(n), *this);
        if (stop_) {
            return;
        }
    }
}

int64_t CK24ReadTask::steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void CK24ReadTask::watchSilence() {
    if (lastInputMs_ == 0 || device_->failed() || steadyMs() - lastInputMs_ < kSilenceFailMs) {
        return;
    }
    device_->markFailed();
    ACE_ERROR((LM_ERROR,
               ACE_TEXT(" Board %u sends nothing for %d ms: its lines are out of service\n"),
               board_, kSilenceFailMs));
}

void CK24ReadTask::dataFrame(uint32_t unit, const uint8_t* samples) {
    UnitBuffer* b = unit < units_.size() ? units_[unit].get() : nullptr;
    if (b == nullptr) {
        return;
    }
    const uint32_t n = unitChannels_[unit];
    const uint32_t first = firstChannel_[unit];
    if (b->count == b->blockLength) {
        for (uint32_t k = 0; k < n; ++k) {
            const int16_t* column = b->columns[k].data();
            device_->polarityWatch(first + k, column, b->count);
            sendRead(first + k, column, b->count * sizeof(int16_t), READ_SAMPLES);
        }
        b->count = 0;
    }
    for (uint32_t k = 0; k < n; ++k) {
        const auto x = static_cast<int16_t>(samples[2 * k] | (samples[2 * k + 1] << 8));
        b->columns[k][b->count] = filters_[first + k].process(x);
    }
    if (b->count < b->blockLength) {
        ++b->count;
    }
}

void CK24ReadTask::unitFrame(uint32_t unit, uint32_t local, uint8_t value, uint8_t command) {
    const uint32_t channel = firstChannel_[unit] + local;
    const Address address{0, board_, channel};
    switch (device_->processAnswer(unit, local, command, value)) {
        case kAnswerError:
            ACE_DEBUG((LM_DEBUG,
                       ACE_TEXT(" Error SoglFrame processing. Channel:%d Command:%X Value:%X\n"),
                       channel, command, value));
            sendDownBlock(makeAckBlock(address, ACKT_EXECUTE, ACKS_HARDWARE_ERR, command));
            break;
        case kAnswerVoltage:
            if (local < unitChannels_[unit] && channel < voltages_.size()) {
                voltages_[channel] = value;
                sendRead(channel, &voltages_[channel], 1, READ_VOLTAGE);
            }
            break;
        case kAnswerConfirmed:
            sendDownBlock(makeAckBlock(address, ACKT_EXECUTE, ACKS_OK, command, true, value));
            break;
        case kAnswerLineState:
            sendDownBlock(makeEventBlock(address, EV_SOGL_LINE_STATE, value, 0));
            break;
        default:
            break;
    }
}

void CK24ReadTask::sendRead(uint32_t channel, const void* data, uint32_t length, uint32_t kind) {
    // Every record shares the template's buffer. A receiver that kept the
    // previous one still reads its own record: the template is replaced.
    if (readTemplate_ != nullptr && readTemplate_->reference_count() > 1) {
        readTemplate_->release();
        readTemplate_ = nullptr;
    }
    if (readTemplate_ == nullptr) {
        readTemplate_ = new (std::nothrow) ACE_Message_Block(
            kReadRecordSize, static_cast<ACE_Message_Block::ACE_Message_Type>(MB_READ));
        if (readTemplate_ == nullptr || readTemplate_->base() == nullptr) {
            delete readTemplate_;
            readTemplate_ = nullptr;
            return;
        }
    }
    ReadRecord record;
    record.address = Address{0, board_, channel};
    record.length = length;
    record.data = data;
    record.kind = kind;
    readTemplate_->reset();
    std::memcpy(readTemplate_->wr_ptr(), &record, kReadRecordSize);
    readTemplate_->wr_ptr(kReadRecordSize);
    sendDownBlock(readTemplate_->duplicate());
}

void CK24ReadTask::sendDownBlock(ACE_Message_Block* mb) {
    if (mb != nullptr) {
        passOn(this, mb);
    }
}

int CK24ReadTask::handle_timeout(const ACE_Time_Value&, const void*) {
    if (device_ == nullptr || !device_->isOpen()) {
        return 0;
    }
    std::vector<K24PendingEntry> expired;
    device_->checkAcknowledgeTimeouts(expired);
    // Every command that timed out is answered, not only the last one.
    for (const K24PendingEntry& e : expired) {
        if (e.command != kUnitPulseDigitCode) {
            sendDownBlock(makeAckBlock(Address{0, board_, e.channel}, ACKT_EXECUTE,
                                       kAckStatusTimeout, e.command));
        }
    }
    return 0;
}

}  // namespace orvel
