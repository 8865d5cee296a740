// The call algorithm of one channel. This holds its parameters, the result
// callback and the call request; the transitions come with the call work.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "call/processing_algorithm.h"
#include "orvel.h"

namespace orvel {

using NotifyResultCallback = void (*)(uint32_t device, uint32_t channel, uint32_t result);

class CListenLineTest : public CProcessingAlgorithm {
public:
    int Start() override;
    int Stop() override;
    uint32_t GetState() const override { return state_.load(); }
    int DoAlgorithm(const ACE_Message_Block* mb) override;
    int CheckTimeOut(const ACE_Time_Value& now, const void* arg) override;

    // -1 for an empty number; 0 when the line is not ready and no call starts.
    int callAbonent(const char* number, uint32_t mainMessage, uint32_t confirmMessage,
                    bool pulseDialling, uint32_t confirmationMode);

    void SetTimeParam(const CallTimeParams& params);
    void GetTimeParam(CallTimeParams& params) const;
    int SetDtmfLevel(uint32_t level);
    uint32_t GetDtmfLevel() const { return dtmfLevel_.load(); }
    void SetConfirmOn(bool on) { confirmOn_ = on; }
    void SetAdvancedDtmfConfirm(bool on) { advancedDtmfConfirm_ = on; }
    void SetNotifyResultCallback(NotifyResultCallback cb) { callback_ = cb; }
    uint32_t GetNotifyResult() const { return notifyResult_.load(); }
    uint32_t GetAonFlag() const { return aonDetected_.load(); }

    // "ww123w45" becomes "w123w45": a run of waits for a dial tone is one wait.
    static std::string normaliseNumber(const char* number);

private:
    std::atomic<uint32_t> state_{STOP};
    std::atomic<uint32_t> notifyResult_{NR_NOT_NOTIFY};
    std::atomic<uint32_t> aonDetected_{0};
    // Parameters: written by the exports on callers' threads, read on the logic thread.
    std::atomic<int32_t> dialTonePause_{10};
    std::atomic<int32_t> noToneTime_{25};
    std::atomic<int32_t> kpwWait_{25};
    std::atomic<int32_t> redialPause_{3};
    std::atomic<int32_t> busyTime_{3};
    std::atomic<int32_t> messagesCount_{3};
    std::atomic<uint32_t> dtmfLevel_{1};
    std::atomic<bool> confirmOn_{true};
    std::atomic<bool> advancedDtmfConfirm_{false};
    std::atomic<NotifyResultCallback> callback_{nullptr};

    std::string number_;
    uint32_t mainMessage_ = 0xFFFFFFFF;
    uint32_t confirmMessage_ = 0xFFFFFFFF;
    bool pulseDialling_ = true;
    uint32_t confirmationMode_ = 3;
};

}  // namespace orvel
