// The frame of the call algorithm: its table, the one state-change function,
// the fronts that check blocks, the named steps and the requests from the
// engine. The per-state handlers are in listen_line_states.cpp.
#include "call/listen_line_test.h"

#include <ace/Log_Msg.h>
#include <ace/Message_Block.h>

namespace orvel {

using L = CListenLineTest;

// Indexed by state number; the size is checked against the state count.
const std::array<L::StateEntry, kAlgorithmStateCount> L::kTable = {{
    {&L::onStop, &L::noTimeout},                      // STOP
    {&L::onAssignLine, &L::commandTimeOut},           // WAIT_ACKNOWLEDGE_ASSIGN_LINE
    {&L::onWaitLineReady, &L::noTimeout},             // WAIT_LINE_READY
    {&L::onReadyLine, &L::noTimeout},                 // READY_LINE
    {&L::onHangUp, &L::hangUpTimeout},                // WAIT_ACKNOWLEDGE_HANG_UP
    {&L::onDialTone, &L::dialToneTimeout},            // WAIT_EVENT_DIAL_TONE
    {&L::onDial, &L::commandTimeOut},                 // WAIT_DIAL
    {&L::onKpw, &L::kpwTimeout},                      // WAIT_EVENT_KPW
    {&L::onAbonentHangUp, &L::abonentHangUpTimeout},  // WAIT_ABONENT_HANG_UP
    {&L::onPlayMsg, &L::commandTimeOut},              // WAIT_PLAY_MSG
    {&L::onPlayConfirmMsg, &L::commandTimeOut},       // WAIT_PLAY_CONFIRM_MSG
    {&L::onTestPause, &L::testPauseTimeout},          // WAIT_TEST_PAUSE
    {&L::onTestBusy, &L::testBusyTimeout},            // WAIT_TEST_BUSY
    {&L::onPlayBeep, &L::commandTimeOut},             // WAIT_PLAY_BEEP
    {&L::onTestDtmf, &L::testDtmfTimeout},            // WAIT_TEST_DTMF
    {&L::onHangDown, &L::hangDownTimeout},            // WAIT_ACKNOWLEDGE_HANG_DOWN
    {&L::onFreeLine, &L::commandTimeOut},             // WAIT_ACKNOWLEDGE_FREE_LINE
}};
static_assert(WAIT_ACKNOWLEDGE_FREE_LINE + 1 == kAlgorithmStateCount);

CListenLineTest::CListenLineTest(const CallClock& clock) : clock_(clock) {
    enteredAt_ = clock_.now();
}

std::string CListenLineTest::normaliseNumber(const char* number) {
    std::string out;
    for (const char* p = number; p != nullptr && *p != '\0'; ++p) {
        if (*p == 'w' && !out.empty() && out.back() == 'w') {
            continue;
        }
        out += *p;
    }
    return out;
}

// ---- State changes and results ----------------------------------------------

void CListenLineTest::changeState(uint32_t state, uint32_t phase, uint32_t timeoutS) {
    ACE_DEBUG((LM_DEBUG, ACE_TEXT(" Device %u Channel %u : Change State from %C to %C\n"),
               address_.device, address_.channel, algorithmStateName(state_.load()),
               algorithmStateName(state)));
    enteredAt_ = clock_.now();
    if (state != state_.load()) {
        dropReported_ = false;
    }
    state_ = state;
    phase_ = phase;
    timeout_ = timeoutS;
}

void CListenLineTest::notifyResult(uint32_t result) {
    notifyResult_ = result;
    if (NotifyResultCallback cb = callback_.load()) {
        try {
            cb(address_.device, address_.channel, result);
        } catch (...) {
            // The program's failure must not end the call logic.
        }
    }
}

// ---- Blocks and ticks ---------------------------------------------------------

int CListenLineTest::DoAlgorithm(const ACE_Message_Block* mb) {
    if (mb == nullptr || (mb->msg_type() != MB_IOCACK && mb->msg_type() != MB_EVENT)) {
        ACE_DEBUG(
            (LM_DEBUG, ACE_TEXT(" CListenLineTest::DoAlgorithm - Invalid Type Message Block!\n")));
        return -1;
    }
    EventRecord ev;
    if (readRecord(mb, ev) && ev.type == EV_LINE_DROP) {
        // A line released, or being given back, has no call the drop could
        // end; moving it would lose the release.
        const uint32_t s = state_.load();
        if (s != STOP && s != WAIT_ACKNOWLEDGE_FREE_LINE && !stopping_) {
            changeState(WAIT_LINE_READY, 1, 3);
        }
    }
    if (readRecord(mb, ev) && ev.type == EV_SIT_DETECT && unobtainable()) {
        return 0;
    }
    if (readRecord(mb, ev) && ev.type == EV_MACHINE_TONE) {
        machineHeard_ = true;
        ACE_DEBUG((LM_DEBUG,
                   ACE_TEXT(" Device %u Channel %u : machine tone -> hang-up is no confirmation\n"),
                   address_.device, address_.channel));
        return 0;
    }
    if (readRecord(mb, ev) && ev.type == EV_CHANGE_LINE_STATE) {
        followToneRun(ev.value, ev.extra);
    }
    const uint32_t s = state_.load();
    if (s >= kAlgorithmStateCount) {
        return -1;
    }
    const int result = (this->*kTable[s].onBlock)(mb);
    if (result != 0) {
        ACE_DEBUG((LM_DEBUG,
                   ACE_TEXT(" Device %u Channel %u : error in Listen Line Test algorithm current "
                            "state %C\n"),
                   address_.device, address_.channel, algorithmStateName(state_.load())));
    }
    return result;
}

// The exchange's information tones from the moment the number is dialled:
// the number cannot be reached, and calling it again will not help. Before
// they were recognised, the tones or the announcement after them may have
// been taken for an answer, so the states of a message count as well.
bool CListenLineTest::unobtainable() {
    switch (state_.load()) {
        case WAIT_EVENT_KPW:
        case WAIT_ABONENT_HANG_UP:
        case WAIT_PLAY_MSG:
        case WAIT_TEST_BUSY:
        case WAIT_PLAY_CONFIRM_MSG:
        case WAIT_TEST_PAUSE:
        case WAIT_PLAY_BEEP:
        case WAIT_TEST_DTMF:
            break;
        default:
            return false;
    }
    ACE_DEBUG((LM_DEBUG,
               ACE_TEXT(" Device %u Channel %u : information tones -> number unobtainable\n"),
               address_.device, address_.channel));
    redial_ = false;
    notifyResult(NR_UNOBTAINABLE);
    hangDownStep();
    return true;
}

int CListenLineTest::CheckTimeOut(const ACE_Time_Value&, const void*) {
    const uint32_t s = state_.load();
    if (timeout_ == 0 || s >= kAlgorithmStateCount) {
        return 0;
    }
    const auto elapsed = clock_.now() - enteredAt_;
    const auto elapsedS = std::chrono::duration_cast<std::chrono::seconds>(elapsed).count();
    if (elapsedS >= 0 && static_cast<uint64_t>(elapsedS) >= timeout_) {
        (this->*kTable[s].onTimeout)(static_cast<uint32_t>(elapsedS));
    }
    return 0;
}

std::optional<AckRecord> CListenLineTest::checkAcknowledge(const ACE_Message_Block* mb) {
    if (mb->msg_type() != MB_IOCACK) {
        return std::nullopt;
    }
    AckRecord ack;
    if (!readRecord(mb, ack)) {
        ACE_DEBUG((LM_DEBUG,
                   ACE_TEXT(" Device %u Channel %u : error answer message MB_IOCACK size\n"),
                   address_.device, address_.channel));
        lastError_ = 5;
        return std::nullopt;
    }
    ACE_DEBUG((LM_DEBUG,
               ACE_TEXT(" Device %u Channel %u : receive acknowledge %C %C on command %C\n"),
               address_.device, address_.channel, ackTypeName(ack.type), ackStatusName(ack.status),
               commandName(ack.command)));
    if (ack.type > ACKT_EXECUTE) {
        ACE_DEBUG((LM_DEBUG, ACE_TEXT(" Device %u Channel %u : unexpected acknType %u\n"),
                   address_.device, address_.channel, ack.type));
        lastError_ = 4;
    }
    if (ack.status != ACKS_OK) {
        lastError_ = 6;
        ACE_ERROR((LM_ERROR,
                   ACE_TEXT(" Device %u Channel %u : receive error acknowledge %C on command %C\n"),
                   address_.device, address_.channel, ackStatusName(ack.status),
                   commandName(ack.command)));
    }
    return ack;
}

std::optional<EventRecord> CListenLineTest::checkEvent(const ACE_Message_Block* mb) {
    if (mb->msg_type() != MB_EVENT) {
        return std::nullopt;
    }
    EventRecord ev;
    if (!readRecord(mb, ev)) {
        ACE_ERROR((LM_ERROR, ACE_TEXT(" Error message MB_EVENT size \n")));
        return std::nullopt;
    }
    return ev;
}

bool CListenLineTest::isConfirmDigit(const EventRecord& ev) const {
    return ev.type == EV_DTMF_DETECT && ev.value == kConfirmDigit;
}

// ---- Named steps --------------------------------------------------------------

void CListenLineTest::hangDownStep() {
    changeState(WAIT_ACKNOWLEDGE_HANG_DOWN, 0, kCommandTimeoutS);
    SendCommand(CMD_SEND_HANG_DOWN);
}

void CListenLineTest::freeStep() {
    changeState(WAIT_ACKNOWLEDGE_FREE_LINE, 0, kCommandTimeoutS);
    SendCommand(CMD_SEND_LINE_FREE);
}

void CListenLineTest::playStep(uint32_t message, uint32_t state) {
    changeState(state, 0, kCommandTimeoutS);
    SendCommand(CMD_START_PLAY, message);
}

void CListenLineTest::dialStep() {
    changeState(WAIT_DIAL, 0, kCommandTimeoutS);
    const auto c = static_cast<unsigned char>(number_[digitIndex_]);
    SendCommand(CMD_SEND_TEL_NUM, c, pulseDialling_ ? 1 : 0, dtmfLevel_.load());
}

void CListenLineTest::dialToneStep(uint32_t a1) {
    changeState(WAIT_EVENT_DIAL_TONE, 3, static_cast<uint32_t>(dialTonePause_.load()));
    SendCommand(CMD_WAIT_DIAL_TONE, a1);
    busyCount_ = 0;
}

void CListenLineTest::ringBackStep() {
    changeState(WAIT_EVENT_KPW, 3, static_cast<uint32_t>(noToneTime_.load()));
    lastClass_ = 5;
    busyCount_ = 0;
}

void CListenLineTest::nextCharacterStep() {
    ++digitIndex_;
    if (digitIndex_ >= number_.size()) {
        ringBackStep();
    } else if (number_[digitIndex_] != 'w') {
        dialStep();
    } else {
        dialToneStep(pulseDialling_ ? 1 : 0);
    }
}

void CListenLineTest::busyCheck() {
    ++busyCount_;
    if (busyCount_ < static_cast<uint32_t>(busyTime_.load())) {
        ACE_DEBUG((LM_DEBUG, ACE_TEXT(" Device %u Channel %u :BUSY DETECT\n"), address_.device,
                   address_.channel));
        return;
    }
    ACE_DEBUG((LM_DEBUG, ACE_TEXT(" Device %u Channel %u : BUSY DETECT - goto HangDown\n"),
               address_.device, address_.channel));
    hangDownStep();
}

// While the engine plays, the echo of its message breaks a busy's reports
// with others, so there the count is not cleared by every other report. It
// is cleared by what no busy tone does: a silence report, or a gap of more
// than kBusyRunGap since the last busy report. A person who talks through
// the message makes a busy report now and then (a syllable with a busy's
// rhythm); counted across the whole message, three of them hung up on a
// person who was about to confirm.
void CListenLineTest::busyWhilePlaying() {
    const auto now = clock_.now();
    if (busyCount_ > 0 && now - lastBusyAt_ > kBusyRunGap) {
        busyCount_ = 0;
    }
    lastBusyAt_ = now;
    busyCheck();
}

void CListenLineTest::quietWhilePlaying(uint32_t lineState) {
    if (lineState == LS_SILENCE) {
        busyCount_ = 0;
    }
}

bool CListenLineTest::dialToneRetry() {
    ++noDialToneCount_;
    redial_ = noDialToneCount_ < kDialToneTries;
    return redial_;
}

bool CListenLineTest::brokenDigitRetry() {
    ++brokenDigitCount_;
    redial_ = brokenDigitCount_ <= kBrokenDigitRedials;
    return redial_;
}

void CListenLineTest::confirmByDigit(const char* text) {
    ACE_DEBUG((LM_DEBUG, text, address_.device, address_.channel));
    redial_ = false;
    notifyResult(NR_NOTIFY_OK);
    hangDownStep();
}

// A run is the reports of one stretch of sound: the sound that opens it
// decides on which side of the beep it began. Silence, a quiet stretch
// before a sound (the analysis reports nothing while the line is silent)
// and speech break a run, so the echo of the beep opens its own run after
// the beep was asked for, and only a sound that lasted from before the beep
// into the busy counts. A lone voice report after a quiet stretch is how
// the rule base often hears the first part of a tone: it opens a run as
// well.
// A report comes only when its sound has ended (or gone on for two
// seconds), long after it began for a slow busy: its first burst, begun
// before the beep, is reported after it, often as one sound with the
// beep's echo. So a run that opens after a quiet stretch is dated from
// when its sound was first heard, which the report carries. A run that
// opens while the person is still speaking is dated from its report: a
// word said into the beep and the beep's echo are one sound too, and the
// hang-up after them is a confirmation.
void CListenLineTest::followToneRun(uint32_t lineState, uint32_t soundMs) {
    const auto now = clock_.now();
    const auto soundBegan = now - std::chrono::milliseconds(soundMs);
    const bool quiet = !reportSeen_ || soundBegan - lastReportAt_ > kToneRunGap;
    reportSeen_ = true;
    lastReportAt_ = now;
    // Silence is a report without a sound behind it; one with a sound is
    // a sound neither steady nor speech-like, such as the first burst of a
    // busy heard as one sound with the beep's echo: it counts as voice.
    if (lineState == LS_SILENCE && soundMs == 0) {
        toneRun_ = false;
    } else if ((lineState == LS_VOICE || lineState == LS_SILENCE) && !quiet) {
        toneRun_ = false;
    } else if (!toneRun_ || quiet) {
        toneRun_ = true;
        toneRunBeforeBeep_ = !beepSent_ || (quiet && soundBegan < beepSentAt_ - kBeepEchoLead);
        if (beepSent_) {
            const auto ms =
                std::chrono::duration_cast<std::chrono::milliseconds>(soundBegan - beepSentAt_);
            ACE_DEBUG((LM_DEBUG,
                       ACE_TEXT(" Device %u Channel %u : sound run from %d ms of the beep%C\n"),
                       address_.device, address_.channel, static_cast<int>(ms.count()),
                       quiet ? ", after a quiet stretch" : ""));
        }
    }
}

void CListenLineTest::commandTimeOut(uint32_t elapsedS) {
    ACE_ERROR((LM_ERROR, ACE_TEXT(" CListenLineTest::CommandTimeOut %u\n"), elapsedS));
    lastError_ = 2;
    switch (state_.load()) {
        case WAIT_ACKNOWLEDGE_HANG_DOWN:
            freeStep();
            break;
        case WAIT_ACKNOWLEDGE_FREE_LINE:
            changeState(STOP, 3, 3);
            break;
        default:
            hangDownStep();
            break;
    }
}

// ---- Requests from the engine -------------------------------------------------

int CListenLineTest::Start() {
    ACE_DEBUG((LM_DEBUG, ACE_TEXT(" Device %u Channel %u : Start algorithm\n"), address_.device,
               address_.channel));
    timeout_ = 0;
    digitIndex_ = 0;
    noDialToneCount_ = 0;
    busyCount_ = 0;
    playCount_ = 0;
    redial_ = false;
    beepSent_ = false;
    toneRun_ = false;
    reportSeen_ = false;
    stopping_ = false;
    notifyResult_ = NR_NOT_NOTIFY;
    lastError_ = 0;
    changeState(WAIT_ACKNOWLEDGE_ASSIGN_LINE, 0, kCommandTimeoutS);
    const int result = SendCommand(CMD_SEND_LINE_ASSIGN);
    if (result == -1) {
        lastError_ = 6;
        changeState(STOP, 0, 3);
    }
    return result;
}

int CListenLineTest::Stop() {
    number_.clear();
    number_.shrink_to_fit();
    lastError_ = 1;
    redial_ = false;
    stopping_ = true;
    int result = -1;
    const uint32_t s = state_.load();
    if ((s == WAIT_ACKNOWLEDGE_HANG_DOWN && phase_ == 3) || s == READY_LINE) {
        changeState(WAIT_ACKNOWLEDGE_FREE_LINE, 0, kCommandTimeoutS);
        result = SendCommand(CMD_SEND_LINE_FREE);
    } else if (s == WAIT_ACKNOWLEDGE_HANG_DOWN) {
        // The hang-down in flight ends with the free step.
    } else {
        changeState(WAIT_ACKNOWLEDGE_HANG_DOWN, 0, kCommandTimeoutS);
        result = SendCommand(CMD_SEND_HANG_DOWN);
    }
    digitIndex_ = 0;
    noDialToneCount_ = 0;
    busyCount_ = 0;
    playCount_ = 0;
    notifyResult_ = NR_NOT_NOTIFY;
    timeout_ = 0;
    return result;
}

int CListenLineTest::callAbonent(const char* number, uint32_t mainMessage, uint32_t confirmMessage,
                                 bool pulseDialling, uint32_t confirmationMode) {
    ACE_DEBUG((LM_DEBUG,
               ACE_TEXT("CListenLineTest_callAbonent: Device %u Channel %u: Abonent %C \n"),
               address_.device, address_.channel, number != nullptr ? number : "(null)"));
    if (number == nullptr || *number == '\0') {
        ACE_DEBUG((LM_DEBUG, ACE_TEXT("Invalid abonent number length\n")));
        return -1;
    }
    std::string normalised = normaliseNumber(number);
    ACE_DEBUG((LM_DEBUG, ACE_TEXT("Device %u Channel %u: Telephone type is : %C \n"),
               address_.device, address_.channel, pulseDialling ? "Pulse" : "Tone"));
    ACE_DEBUG((LM_INFO,
               ACE_TEXT("Device %u Channel %u : ______________________ Call progress is begin "
                        "______________________\n"),
               address_.device, address_.channel));
    number_ = std::move(normalised);
    pulseDialling_ = pulseDialling;
    mainMessage_ = mainMessage;
    confirmMessage_ = confirmMessage;
    confirmationMode_ = (confirmationMode == 1 || confirmationMode == 2) ? confirmationMode : 3;
    brokenDigitCount_ = 0;
    voiceCount_ = 0;
    aonDetected_ = 0;
    machineHeard_ = false;
    beepSent_ = false;
    toneRun_ = false;
    reportSeen_ = false;
    if (state_.load() != READY_LINE) {
        return 0;
    }
    noDialToneCount_ = 0;
    notifyResult_ = NR_NOT_NOTIFY;
    changeState(WAIT_ACKNOWLEDGE_HANG_UP, 0, kCommandTimeoutS);
    return SendCommand(CMD_SEND_HANG_UP);
}

// ---- Parameters -----------------------------------------------------------------

void CListenLineTest::SetTimeParam(const CallTimeParams& p) {
    dialTonePause_ = p.DialTonePause;
    redialPause_ = p.RedialPause;
    kpwWait_ = p.KpwWait;
    busyTime_ = p.BusyTime;
    noToneTime_ = p.NoToneTime;
    messagesCount_ = p.MessagesCount;
}

void CListenLineTest::GetTimeParam(CallTimeParams& p) const {
    p.DialTonePause = dialTonePause_;
    p.RedialPause = redialPause_;
    p.KpwWait = kpwWait_;
    p.BusyTime = busyTime_;
    p.NoToneTime = noToneTime_;
    p.MessagesCount = messagesCount_;
}

int CListenLineTest::SetDtmfLevel(uint32_t level) {
    if (level >= 6) {
        return -1;
    }
    dtmfLevel_ = level;
    return 0;
}

}  // namespace orvel
