// The per-state handlers of the call algorithm: what each acknowledgement,
// event and expired timeout does in each state. A handler returns 0 when it
// took the block (or ignores it on purpose) and -1 when the block fits
// nothing in the state; the caller logs the latter.
#include <ace/Log_Msg.h>
#include <ace/Message_Block.h>

#include "call/listen_line_test.h"

namespace orvel {

namespace {

bool isLineState(const EventRecord& ev) {
    return ev.type == EV_CHANGE_LINE_STATE;
}
bool isVoiceOrSilence(uint32_t v) {
    return v == LS_VOICE || v == LS_SILENCE;
}

}  // namespace

// ---- Assignment and release ---------------------------------------------------

int CListenLineTest::onStop(const ACE_Message_Block*) {
    return 0;
}

int CListenLineTest::onAssignLine(const ACE_Message_Block* mb) {
    const auto ack = checkAcknowledge(mb);
    if (!ack) {
        return -1;
    }
    if (ack->status != ACKS_OK) {
        freeStep();
    } else if (ack->type == ACKT_RECEIVE && phase_ == 0) {
        changeState(WAIT_ACKNOWLEDGE_ASSIGN_LINE, 1, kCommandTimeoutS);
    } else if (ack->type == ACKT_EXECUTE && phase_ == 1 && ack->command == CMD_SEND_LINE_ASSIGN) {
        changeState(WAIT_ACKNOWLEDGE_ASSIGN_LINE, 0, kCommandTimeoutS);
        SendCommand(CMD_SEND_HANG_DOWN);
    } else if (ack->type == ACKT_EXECUTE && phase_ == 1 && ack->command == CMD_SEND_HANG_DOWN) {
        changeState(WAIT_LINE_READY, 2, 0);
    } else {
        return -1;
    }
    return 0;
}

int CListenLineTest::onWaitLineReady(const ACE_Message_Block* mb) {
    if (mb->msg_type() == MB_IOCACK) {
        checkAcknowledge(mb);
        return 0;
    }
    const auto ev = checkEvent(mb);
    if (!ev) {
        return -1;
    }
    if (ev->type == EV_LINE_READY) {
        changeState(READY_LINE, 2, 0);
    } else if (ev->type == EV_LINE_BUSY || ev->type == EV_LINE_DROP) {
        if (!dropReported_) {
            dropReported_ = true;
            notifyResult(NR_LINE_DROP);
        }
    } else {
        return -1;
    }
    return 0;
}

int CListenLineTest::onReadyLine(const ACE_Message_Block*) {
    return 0;
}

int CListenLineTest::onHangDown(const ACE_Message_Block* mb) {
    const auto ack = checkAcknowledge(mb);
    if (!ack) {
        return -1;
    }
    if (ack->command != CMD_SEND_HANG_DOWN) {
        return 0;
    }
    if (ack->status != ACKS_OK) {
        redial_ = false;
        if (stopping_) {
            freeStep();  // the line is given back whatever the hang-down did
        } else {
            changeState(WAIT_ACKNOWLEDGE_HANG_DOWN, 3, static_cast<uint32_t>(redialPause_.load()));
        }
    } else if (ack->type == ACKT_RECEIVE && phase_ == 0) {
        changeState(WAIT_ACKNOWLEDGE_HANG_DOWN, 1, kCommandTimeoutS);
    } else if (ack->type == ACKT_EXECUTE && phase_ == 1) {
        if (lastError_ == 1 || stopping_) {
            freeStep();
        } else {
            changeState(WAIT_ACKNOWLEDGE_HANG_DOWN, 3, static_cast<uint32_t>(redialPause_.load()));
        }
    } else {
        return -1;
    }
    return 0;
}

void CListenLineTest::hangDownTimeout(uint32_t) {
    if (stopping_) {
        // A release whose hang-down was never answered: treated as done.
        freeStep();
        return;
    }
    const bool redial = redial_;
    redial_ = false;
    if (!redial) {
        noDialToneCount_ = 0;
        changeState(READY_LINE, 3, 3);
    } else {
        changeState(WAIT_ACKNOWLEDGE_HANG_UP, 0, kCommandTimeoutS);
        SendCommand(CMD_SEND_HANG_UP);
    }
}

int CListenLineTest::onFreeLine(const ACE_Message_Block* mb) {
    const auto ack = checkAcknowledge(mb);
    if (!ack || ack->command != CMD_SEND_LINE_FREE) {
        return -1;
    }
    // The status is not looked at: a line is given back even when the
    // board complains.
    if (ack->type == ACKT_RECEIVE && phase_ == 0) {
        changeState(WAIT_ACKNOWLEDGE_FREE_LINE, 1, kCommandTimeoutS);
    } else if (ack->type == ACKT_EXECUTE && phase_ == 1) {
        changeState(STOP, 0, 3);
        lastError_ = 1;
        stopping_ = false;
    } else {
        return -1;
    }
    return 0;
}

// ---- Seizure and dialling -------------------------------------------------------

int CListenLineTest::onHangUp(const ACE_Message_Block* mb) {
    const auto ack = checkAcknowledge(mb);
    if (!ack) {
        return -1;
    }
    if (ack->command != CMD_SEND_HANG_UP) {
        return 0;
    }
    if (ack->status != ACKS_OK) {
        freeStep();
    } else if (ack->type == ACKT_RECEIVE && phase_ == 0) {
        changeState(WAIT_ACKNOWLEDGE_HANG_UP, 1, kCommandTimeoutS);
    } else if (ack->type == ACKT_EXECUTE && phase_ == 1) {
        changeState(WAIT_ACKNOWLEDGE_HANG_UP, 3, kSettleAfterSeizureS);
    } else {
        return -1;
    }
    return 0;
}

void CListenLineTest::hangUpTimeout(uint32_t) {
    digitIndex_ = 0;
    playCount_ = 0;
    if (number_.empty()) {
        hangDownStep();  // nothing to dial
    } else if (number_[0] != 'w') {
        dialStep();
    } else {
        dialToneStep(0);
    }
}

int CListenLineTest::onDialTone(const ACE_Message_Block* mb) {
    const auto ev = checkEvent(mb);
    if (!ev || !isLineState(*ev)) {
        return ev && ev->type == EV_DTMF_DETECT ? 0 : -1;
    }
    if (ev->value == LS_DIAL_TONE) {
        ++digitIndex_;
        noDialToneCount_ = 0;
        ACE_DEBUG((LM_DEBUG, ACE_TEXT("STS_DIAL_TONE detected in wait dial tone\n")));
        if (digitIndex_ >= number_.size()) {
            ringBackStep();
        } else {
            dialStep();
        }
    } else if (ev->value == LS_BUSY_TONE) {
        busyCheck();
        ACE_DEBUG((LM_DEBUG, ACE_TEXT("Busy detected in wait dial tone\n")));
    } else {
        ACE_DEBUG((LM_DEBUG, ACE_TEXT(" DETECT %C in sate WAIT_DIALTONE\n"),
                   lineStateClassName(ev->value)));
        busyCount_ = 0;
    }
    return 0;
}

void CListenLineTest::dialToneTimeout(uint32_t) {
    ACE_DEBUG((LM_DEBUG,
               ACE_TEXT(" Device %u Channel %u : NO DIAL TONE DETECTED - goto HangDown\n"),
               address_.device, address_.channel));
    if (!dialToneRetry()) {
        notifyResult(NR_LINE_DROP);
    }
    hangDownStep();
}

int CListenLineTest::onDial(const ACE_Message_Block* mb) {
    // The end of a tone-dialled character comes as the execution of a play,
    // so the command code is not looked at.
    const auto ack = checkAcknowledge(mb);
    if (!ack) {
        return -1;
    }
    const char c = digitIndex_ < number_.size() ? number_[digitIndex_] : '?';
    if (ack->status != ACKS_OK) {
        // A digit that failed on its way out (a tone the card cut in two)
        // may have reached the exchange as another number: whoever answers
        // there is not the subscriber. The number is dialled again from the
        // start on a fresh seizure.
        if (ack->type == ACKT_EXECUTE && brokenDigitRetry()) {
            ACE_DEBUG((LM_DEBUG,
                       ACE_TEXT(" Device %u Channel %u : digit %c went out broken -> dial the "
                                "number again\n"),
                       address_.device, address_.channel, c));
        }
        hangDownStep();
    } else if (ack->type == ACKT_RECEIVE && phase_ == 0) {
        ACE_DEBUG((LM_DEBUG, ACE_TEXT(" RECEIVE ON send Number %c\n"), c));
        changeState(WAIT_DIAL, 2, kCommandTimeoutS);
    } else if (ack->type == ACKT_EXECUTE && phase_ == 2) {
        ACE_DEBUG((LM_DEBUG, ACE_TEXT(" EXECUTE ON send Number %c\n"), c));
        nextCharacterStep();
    } else {
        return -1;
    }
    return 0;
}

// ---- Ringing --------------------------------------------------------------------

int CListenLineTest::onKpw(const ACE_Message_Block* mb) {
    const auto ev = checkEvent(mb);
    if (!ev || !isLineState(*ev)) {
        return ev && ev->type == EV_DTMF_DETECT ? 0 : -1;
    }
    const uint32_t v = ev->value;
    if (v == LS_RING_BACK_TONE || v == LS_RING_BACK_PAUSE) {
        changeState(WAIT_ABONENT_HANG_UP, 3, static_cast<uint32_t>(kpwWait_.load()));
        busyCount_ = 0;
        return 0;
    }
    if (v == LS_BUSY_TONE) {
        busyCheck();
        if (state_.load() == WAIT_ACKNOWLEDGE_HANG_DOWN) {
            notifyResult(NR_LINE_BUSY);
        }
        return 0;
    }
    busyCount_ = 0;
    if (isVoiceOrSilence(v) && lastClass_ == LS_TONE) {
        playStep(mainMessage_, WAIT_PLAY_MSG);
        ACE_DEBUG((LM_DEBUG, ACE_TEXT(" LS_TONE & VOICE or NO_SIGNAL DETECT -> goto PlayMsg\n")));
    } else if (v == LS_TONE) {
        ACE_DEBUG((LM_DEBUG, ACE_TEXT(" TONE DETECT\n")));
        lastClass_ = LS_TONE;
    } else if (isVoiceOrSilence(v) && (lastClass_ == LS_SILENCE || lastClass_ == LS_VOICE)) {
        // An answer without ring-back: several voice or silence reports in a row.
        ACE_DEBUG((LM_DEBUG, ACE_TEXT(" VOICE OR NO_SIGNAL cnt = %u times\n"), voiceCount_));
        if (++voiceCount_ > 2) {
            voiceCount_ = 0;
            playStep(mainMessage_, WAIT_PLAY_MSG);
            ACE_DEBUG((LM_DEBUG, ACE_TEXT(" VOICE or NO_SIGNAL DETECT -> goto PlayMsg\n")));
        }
        lastClass_ = v;
    } else if (isVoiceOrSilence(v)) {
        voiceCount_ = 0;
        lastClass_ = v;
    } else if (v == LS_AON) {
        voiceCount_ = 0;
        ACE_DEBUG((LM_DEBUG, ACE_TEXT(" Device %u Channel %u : AON detected\n"), address_.device,
                   address_.channel));
        aonDetected_ = 1;
        lastClass_ = LS_TONE;
    } else {
        voiceCount_ = 0;
        ACE_DEBUG((LM_DEBUG, ACE_TEXT(" OTHER DETECT %d\n"), static_cast<int>(v)));
    }
    return 0;
}

void CListenLineTest::kpwTimeout(uint32_t) {
    ACE_DEBUG((LM_DEBUG, ACE_TEXT(" Device %u Channel %u : KPW WAIT TIME OUT - goto HangDown\n"),
               address_.device, address_.channel));
    redial_ = false;
    notifyResult(NR_NOT_HANDUP);
    hangDownStep();
}

int CListenLineTest::onAbonentHangUp(const ACE_Message_Block* mb) {
    const auto ev = checkEvent(mb);
    if (!ev || !isLineState(*ev)) {
        return ev && ev->type == EV_DTMF_DETECT ? 0 : -1;
    }
    const uint32_t v = ev->value;
    if (v == LS_BUSY_TONE) {
        busyCheck();
        if (state_.load() == WAIT_ACKNOWLEDGE_HANG_DOWN) {
            notifyResult(NR_LINE_BUSY);
        }
        return 0;
    }
    busyCount_ = 0;
    if (isVoiceOrSilence(v)) {
        ACE_DEBUG((LM_DEBUG, ACE_TEXT(" Device %u Channel %u : VOICE or NO_SIGNAL DETECT\n"),
                   address_.device, address_.channel));
        playStep(mainMessage_, WAIT_PLAY_MSG);
    } else if (v == LS_AON) {
        ACE_DEBUG((LM_DEBUG, ACE_TEXT(" Device %u Channel %u : AON detected\n"), address_.device,
                   address_.channel));
        aonDetected_ = 1;
    } else {
        ACE_DEBUG((LM_DEBUG, ACE_TEXT(" OTHER DETECT %d\n"), static_cast<int>(v)));
    }
    return 0;
}

void CListenLineTest::abonentHangUpTimeout(uint32_t) {
    ACE_DEBUG((LM_DEBUG,
               ACE_TEXT(" Device %u Channel %u : HANG-UP WAIT TIME OUT - goto HangDown\n"),
               address_.device, address_.channel));
    redial_ = false;
    notifyResult(NR_NOT_HANDUP);
    hangDownStep();
}

// ---- Message, confirmation ------------------------------------------------------

int CListenLineTest::onPlayMsg(const ACE_Message_Block* mb) {
    if (const auto ev = checkEvent(mb)) {
        if (isLineState(*ev) && ev->value == LS_BUSY_TONE) {
            if (!confirmOn_ && playCount_ > 0) {
                changeState(WAIT_TEST_BUSY, 3, kBusyTestWindowS);
            } else {
                busyWhilePlaying();
            }
        } else if (isLineState(*ev)) {
            quietWhilePlaying(ev->value);
        }
        // Other reports and digits are ignored while the message plays.
        return isLineState(*ev) || ev->type == EV_DTMF_DETECT ? 0 : -1;
    }
    if (mb->msg_type() == MB_EVENT) {
        return -1;
    }
    const auto ack = checkAcknowledge(mb);
    if (!ack || ack->command != CMD_START_PLAY) {
        return -1;
    }
    if (ack->status != ACKS_OK) {
        hangDownStep();
    } else if (ack->type == ACKT_RECEIVE && phase_ == 0) {
        ACE_DEBUG((LM_DEBUG, ACE_TEXT(" RECEIVE\n")));
        changeState(WAIT_PLAY_MSG, 2, 0);
    } else if (ack->type == ACKT_EXECUTE && phase_ == 2) {
        ++playCount_;
        ACE_DEBUG((LM_DEBUG, ACE_TEXT(" END PLAY MSG -> goto StateTestBusy\n")));
        busyCount_ = 0;
        changeState(WAIT_TEST_BUSY, 3, kBusyTestWindowS);
    } else {
        return -1;
    }
    return 0;
}

int CListenLineTest::onPlayConfirmMsg(const ACE_Message_Block* mb) {
    if (const auto ev = checkEvent(mb)) {
        if (isLineState(*ev) && ev->value == LS_BUSY_TONE) {
            busyWhilePlaying();
        } else if (isLineState(*ev)) {
            quietWhilePlaying(ev->value);
        } else if (isConfirmDigit(*ev) && advancedDtmfConfirm_ && modeAcceptsDigit()) {
            confirmByDigit("Device %u Channel %u : dtmf detected -> Confirm received\n");
        }
        return isLineState(*ev) || ev->type == EV_DTMF_DETECT ? 0 : -1;
    }
    if (mb->msg_type() == MB_EVENT) {
        return -1;
    }
    const auto ack = checkAcknowledge(mb);
    if (!ack || ack->command != CMD_START_PLAY) {
        return -1;
    }
    if (ack->status != ACKS_OK) {
        hangDownStep();
    } else if (ack->type == ACKT_RECEIVE && phase_ == 0) {
        changeState(WAIT_PLAY_CONFIRM_MSG, 2, 0);
    } else if (ack->type == ACKT_EXECUTE && phase_ == 2) {
        changeState(WAIT_TEST_PAUSE, 3, kTestPauseS);
        busyCount_ = 0;
    } else {
        return -1;
    }
    return 0;
}

int CListenLineTest::onTestPause(const ACE_Message_Block* mb) {
    const auto ev = checkEvent(mb);
    if (!ev) {
        return -1;
    }
    if (isLineState(*ev) && ev->value == LS_BUSY_TONE) {
        timeout_ += 1;  // busy heard during the pause makes it longer
        ACE_DEBUG((LM_DEBUG, ACE_TEXT("BUSY detected TestPause time out  is %u \n"), timeout_));
        busyCheck();
    } else if (isLineState(*ev)) {
        busyCount_ = 0;
        ACE_DEBUG((LM_DEBUG, ACE_TEXT(" DETECT %C in state WaitTestPause\n"),
                   lineStateClassName(ev->value)));
    } else if (isConfirmDigit(*ev) && modeAcceptsDigit()) {
        confirmByDigit(" Device %u Channel %u : dtmf detected -> Confirm received\n");
    } else if (ev->type != EV_DTMF_DETECT) {
        return -1;
    }
    return 0;
}

void CListenLineTest::testPauseTimeout(uint32_t) {
    changeState(WAIT_PLAY_BEEP, 0, kCommandTimeoutS);
    beepSent_ = true;
    beepSentAt_ = clock_.now();
    SendCommand(CMD_SOUND_PLAY, 500);
    digitIndex_ = 0;
}

int CListenLineTest::onTestBusy(const ACE_Message_Block* mb) {
    const auto ev = checkEvent(mb);
    if (!ev) {
        return -1;
    }
    if (isLineState(*ev) && ev->value == LS_BUSY_TONE) {
        ++busyCount_;
        if (busyCount_ < static_cast<uint32_t>(busyTime_.load())) {
            ACE_DEBUG((LM_DEBUG, ACE_TEXT(" BUSY DETECT\n")));
            if (timeout_ < kBusyTestWindowS + kBusyWindowStepS) {
                timeout_ += kBusyWindowStepS;
            }
            return 0;
        }
        const bool confirmOn = confirmOn_;
        if (!confirmOn && !machineHeard_) {
            notifyResult(NR_NOTIFY_OK);
        }
        ACE_DEBUG((LM_DEBUG, ACE_TEXT(" Device %u Channel %u : %C\n"), address_.device,
                   address_.channel,
                   confirmOn ? "Busy detected -> Confirm message not played"
                             : "Busy detected -> Confirm received"));
        redial_ = false;
        hangDownStep();
    } else if (isLineState(*ev)) {
        busyCount_ = 0;
        ACE_DEBUG(
            (LM_DEBUG, ACE_TEXT(" DETECT %C in state Test Busy\n"), lineStateClassName(ev->value)));
    } else if (isConfirmDigit(*ev) && advancedDtmfConfirm_ && confirmOn_ && modeAcceptsDigit()) {
        confirmByDigit(" Device %u Channel %u : dtmf detected -> Confirm received\n");
    } else if (ev->type != EV_DTMF_DETECT) {
        return -1;
    }
    return 0;
}

void CListenLineTest::testBusyTimeout(uint32_t) {
    if (confirmOn_) {
        ACE_DEBUG((LM_DEBUG, ACE_TEXT(" StateTestBusyTimeOut -> play confirm message\n")));
        playStep(confirmMessage_, WAIT_PLAY_CONFIRM_MSG);
    } else if (playCount_ < static_cast<uint32_t>(messagesCount_.load())) {
        playStep(mainMessage_, WAIT_PLAY_MSG);
    } else {
        ACE_DEBUG((LM_DEBUG,
                   ACE_TEXT(" Device %u Channel %u : max play message  -> Confirm received\n"),
                   address_.device, address_.channel));
        notifyResult(NR_NOTIFY_OK);
        redial_ = false;
        hangDownStep();
    }
}

int CListenLineTest::onPlayBeep(const ACE_Message_Block* mb) {
    // The end of the beep comes as the execution of a play.
    const auto ack = checkAcknowledge(mb);
    if (!ack) {
        return -1;
    }
    if (ack->status != ACKS_OK) {
        hangDownStep();
    } else if (ack->type == ACKT_RECEIVE && phase_ == 0) {
        changeState(WAIT_PLAY_BEEP, 2, 0);
    } else if (ack->type == ACKT_EXECUTE && phase_ == 2) {
        busyCount_ = 0;
        changeState(WAIT_TEST_DTMF, 3, kDtmfWaitS);
    } else {
        return -1;
    }
    return 0;
}

int CListenLineTest::onTestDtmf(const ACE_Message_Block* mb) {
    const auto ev = checkEvent(mb);
    if (!ev) {
        return -1;
    }
    if (isLineState(*ev) && ev->value == LS_BUSY_TONE) {
        ++busyCount_;
        if (busyCount_ < static_cast<uint32_t>(busyTime_.load())) {
            ACE_DEBUG((LM_DEBUG, ACE_TEXT(" BUSY DETECT\n")));
            return 0;
        }
        if (earlyBusyDetect_ && busyBeganBeforeBeep()) {
            // The subscriber hung up before the beep; the rule base needs
            // more of the cadence than the pause left it. The call ends
            // as busy in the pause before the beep ends it.
            ACE_DEBUG((LM_DEBUG,
                       ACE_TEXT(" Device %u Channel %u : busy began before the beep -> hung up "
                                "before the beep, no confirmation\n"),
                       address_.device, address_.channel));
            hangDownStep();
            return 0;
        }
        ACE_DEBUG((LM_DEBUG,
                   ACE_TEXT(" Device %u Channel %u : busy detected -> Confirm received\n"),
                   address_.device, address_.channel));
        if (modeAcceptsHangUp()) {
            notifyResult(NR_NOTIFY_OK);
        }
        hangDownStep();
    } else if (isLineState(*ev)) {
        busyCount_ = 0;
        ACE_DEBUG((LM_DEBUG, ACE_TEXT(" OTHER DETECT %d\n"), static_cast<int>(ev->value)));
    } else if (isConfirmDigit(*ev) && modeAcceptsDigit()) {
        confirmByDigit(" Device %u Channel %u : dtmf detected -> Confirm received\n");
    } else if (ev->type != EV_DTMF_DETECT) {
        return -1;
    }
    return 0;
}

void CListenLineTest::testDtmfTimeout(uint32_t) {
    ACE_DEBUG((LM_DEBUG,
               ACE_TEXT(" Device %u Channel %u : no dtmf detected -> goto WaitHangDown\n"),
               address_.device, address_.channel));
    redial_ = false;
    hangDownStep();
}

}  // namespace orvel
