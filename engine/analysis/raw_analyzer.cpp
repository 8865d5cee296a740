// CRawAnalyzer: the channel's analysis state (idle, assigned, calibrating,
// active) as the acknowledgements of the board show it, and the events it
// sends to the call algorithm.
#include <ace/Guard_T.h>
#include <ace/Log_Msg.h>
#include <ace/Message_Block.h>

#include <cerrno>
#include <cstring>

#include "analysis/signal_analysis_task.h"
#include "analysis/signal_processing.h"

namespace orvel {

namespace {

using Guard = ACE_Guard<ACE_Recursive_Thread_Mutex>;

// A good acknowledgement of the given type, or nothing. A block of the
// acknowledgement type but the wrong size is logged.
bool goodAck(const ACE_Message_Block* mb, AckRecord& ack) {
    if (mb->msg_type() != MB_IOCACK) {
        return false;
    }
    if (!readRecord(mb, ack)) {
        ACE_ERROR((LM_ERROR, ACE_TEXT("CRawAnalyzer. Error answer message MB_IOCACK size\n")));
        return false;
    }
    return ack.status == ACKS_OK;
}

bool isAck(const AckRecord& ack, uint32_t type, uint32_t command) {
    return ack.type == type && ack.command == command;
}

bool readOfKind(const ACE_Message_Block* mb, uint32_t kind, ReadRecord& read) {
    if (mb->msg_type() != MB_READ) {
        return false;
    }
    if (!readRecord(mb, read)) {
        ACE_ERROR((LM_ERROR, ACE_TEXT("CRawAnalyzer. Error message MB_READ size\n")));
        return false;
    }
    return read.kind == kind;
}

}  // namespace

const std::array<CRawAnalyzer::Handler, 4> CRawAnalyzer::kHandlers = {
    &CRawAnalyzer::onIdle, &CRawAnalyzer::onAssigned, &CRawAnalyzer::onCalibrating,
    &CRawAnalyzer::onActive};

CRawAnalyzer::CRawAnalyzer() {
    dtmf_.init(processing_.sampleRate());
    samples_.reserve(CSignalProcessing::kFrameSamples);
}

void CRawAnalyzer::initialise(const Address& address, CSignalAnalysisTask* task) {
    Guard guard(processing_.lock());
    if (task != nullptr) {
        task_ = task;
    }
    address_ = address;
    dtmf_.reset();
}

void CRawAnalyzer::setSampleRate(uint32_t rate) {
    Guard guard(processing_.lock());
    dtmf_.init(rate);
    processing_.setSampleRate(rate);
}

void CRawAnalyzer::setConfirmGuard(bool on) {
    Guard guard(processing_.lock());
    dtmf_.setGuard(on);
}

void CRawAnalyzer::setSitDetect(bool on) {
    Guard guard(processing_.lock());
    sitOn_ = on;
}

int CRawAnalyzer::process(const ACE_Message_Block* mb) {
    AnalyzerEvents events;
    const int result = process(mb, events);
    send(events);
    return result;
}

int CRawAnalyzer::process(const ACE_Message_Block* mb, AnalyzerEvents& events) {
    if (mb == nullptr) {
        return -1;
    }
    Guard guard(processing_.lock());
    if (state_ >= kHandlers.size()) {
        return -1;
    }
    (this->*kHandlers[state_])(mb, events);
    return 0;
}

void CRawAnalyzer::onIdle(const ACE_Message_Block* mb, AnalyzerEvents&) {
    AckRecord ack;
    if (!goodAck(mb, ack)) {
        return;
    }
    if (isAck(ack, ACKT_EXECUTE, CMD_SEND_LINE_ASSIGN)) {
        state_ = kAssigned;
    } else if (isAck(ack, ACKT_EXECUTE, CMD_START_PLAY)) {
        // A play on a line nobody assigned here: analysed without calibration.
        state_ = kActive;
    }
}

void CRawAnalyzer::onAssigned(const ACE_Message_Block* mb, AnalyzerEvents&) {
    AckRecord ack;
    ReadRecord read;
    if (goodAck(mb, ack)) {
        if (isAck(ack, ACKT_RECEIVE, CMD_SEND_LINE_FREE)) {
            state_ = kIdle;
        }
    } else if (readOfKind(mb, READ_VOLTAGE, read)) {
        state_ = kCalibrating;
        processing_.startCalibration();
        sit_.reset();
    }
}

void CRawAnalyzer::onCalibrating(const ACE_Message_Block* mb, AnalyzerEvents&) {
    AckRecord ack;
    ReadRecord read;
    if (goodAck(mb, ack)) {
        if (isAck(ack, ACKT_RECEIVE, CMD_SEND_LINE_FREE)) {
            state_ = kIdle;
        } else if (isAck(ack, ACKT_RECEIVE, CMD_SEND_HANG_UP)) {
            processing_.seize();
        }
    } else if (readOfKind(mb, READ_SAMPLES, read)) {
        const std::vector<int16_t>& s = samplesOf(read);
        if (!s.empty() && processing_.calibrationFrame(s.data(), s.size())) {
            state_ = kActive;
            processing_.seize();
        }
    }
}

void CRawAnalyzer::onActive(const ACE_Message_Block* mb, AnalyzerEvents& events) {
    AckRecord ack;
    ReadRecord read;
    if (goodAck(mb, ack)) {
        if (isAck(ack, ACKT_RECEIVE, CMD_SEND_HANG_DOWN)) {
            state_ = kCalibrating;
            processing_.startCalibration();
            sit_.reset();
        } else if (isAck(ack, ACKT_RECEIVE, CMD_SEND_LINE_FREE)) {
            state_ = kIdle;
        } else if (isAck(ack, ACKT_RECEIVE, CMD_WAIT_DIAL_TONE)) {
            processing_.setFilterMode(CLineStateFilter::kAwaitDialTone);
        } else if (isAck(ack, ACKT_RECEIVE, CMD_SEND_TEL_NUM)) {
            processing_.setFilterMode(CLineStateFilter::kDialled);
        } else if (isAck(ack, ACKT_RECEIVE, CMD_START_PLAY)) {
            processing_.playOn();
        } else if (isAck(ack, ACKT_EXECUTE, CMD_START_PLAY)) {
            // The board ends every playback so: message, beep, tone digit.
            processing_.playOff();
        }
    } else if (readOfKind(mb, READ_SAMPLES, read)) {
        const std::vector<int16_t>& s = samplesOf(read);
        if (s.empty()) {
            return;
        }
        uint32_t reported = 0;
        if (processing_.activeFrame(s.data(), s.size(), reported)) {
            events.add(EV_CHANGE_LINE_STATE, reported, processing_.reportedSoundMs());
        }
        if (processing_.takeMachineTone()) {
            ACE_DEBUG((LM_DEBUG, ACE_TEXT(" Machine tone detected\n")));
            events.add(EV_MACHINE_TONE, 0);
        }
        detectDtmf(events);
        if (sitOn_ && s.size() == CSitDetector::kFrameSamples && sit_.process(s.data())) {
            ACE_DEBUG((LM_DEBUG, ACE_TEXT(" Special information tones detected\n")));
            events.add(EV_SIT_DETECT, 0);
        }
    }
}

const std::vector<int16_t>& CRawAnalyzer::samplesOf(const ReadRecord& read) {
    samples_.clear();
    if (read.data != nullptr && read.length >= sizeof(int16_t)) {
        samples_.resize(read.length / sizeof(int16_t));
        std::memcpy(samples_.data(), read.data, samples_.size() * sizeof(int16_t));
    }
    return samples_;
}

void CRawAnalyzer::detectDtmf(AnalyzerEvents& events) {
    if (!dtmf_.process(samples_.data(), samples_.size())) {
        return;
    }
    ACE_DEBUG((LM_DEBUG, ACE_TEXT(" Dtmf detect %C\n"), dtmf_.digits()));
    events.add(EV_DTMF_DETECT, static_cast<unsigned char>(dtmf_.digits()[0]));
    dtmf_.reset();
}

void CRawAnalyzer::send(const AnalyzerEvents& events) {
    for (std::size_t i = 0; i < events.count; ++i) {
        const auto& item = events.items[i];
        if (item.type == EV_CHANGE_LINE_STATE) {
            ACE_DEBUG((LM_DEBUG, ACE_TEXT(" === Send Event State %C ===\n"),
                       lineStateClassName(item.value)));
        }
        ACE_Message_Block* mb = makeEventBlock(address_, item.type, item.value, item.extra);
        if (mb == nullptr) {
            errno = ENOMEM;
            continue;
        }
        Task* next = task_ != nullptr ? task_->next() : nullptr;
        if (isStreamEnd(next)) {
            releaseBlock(mb);
            continue;
        }
        // No timeout: the logic task only queues, and waits for room.
        next->put(mb, nullptr);
    }
}

}  // namespace orvel
