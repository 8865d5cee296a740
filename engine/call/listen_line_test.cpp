#include "call/listen_line_test.h"

namespace orvel {

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

int CListenLineTest::Start() { return -1; }

int CListenLineTest::Stop() { return state_.load() == STOP ? 0 : -1; }

int CListenLineTest::DoAlgorithm(const ACE_Message_Block*) { return 0; }

int CListenLineTest::CheckTimeOut(const ACE_Time_Value&, const void*) { return 0; }

int CListenLineTest::callAbonent(const char* number, uint32_t mainMessage,
                                 uint32_t confirmMessage, bool pulseDialling,
                                 uint32_t confirmationMode) {
    if (number == nullptr || *number == '\0') {
        return -1;
    }
    if (state_.load() != READY_LINE) {
        return 0;
    }
    number_ = normaliseNumber(number);
    mainMessage_ = mainMessage;
    confirmMessage_ = confirmMessage;
    pulseDialling_ = pulseDialling;
    confirmationMode_ = confirmationMode;
    return 0;
}

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
