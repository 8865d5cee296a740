// CListenLineTest: the call algorithm of one channel. A state machine that
// turns the program's requests (assign, call, free) into board commands and
// the acknowledgements and line events that come back into the next step of
// the call, ending every call in one notify result.
//
// Event and timeout handlers run on the logic thread under the logic lock;
// Start, Stop and callAbonent are called under the same lock on callers'
// threads. The parameter setters and getters touch only atomic fields, so
// they need no lock.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

#include "call/call_clock.h"
#include "call/processing_algorithm.h"
#include "orvel.h"

namespace orvel {

using NotifyResultCallback = void (*)(uint32_t device, uint32_t channel, uint32_t result);

class CListenLineTest : public CProcessingAlgorithm {
public:
    explicit CListenLineTest(const CallClock& clock = SteadyCallClock::instance());
    ~CListenLineTest() override = default;

    int Start() override;
    int Stop() override;
    uint32_t GetState() const override { return state_.load(); }
    int DoAlgorithm(const ACE_Message_Block* mb) override;
    // `now` is the reactor's wall-clock time and is not used: states are
    // timed on the algorithm's monotonic clock.
    int CheckTimeOut(const ACE_Time_Value& now, const void* arg) override;

    // -1 for a null or empty number; 0 when the line is not ready (the call
    // is stored but does not start); otherwise the result of the seizure send.
    int callAbonent(const char* number, uint32_t mainMessage, uint32_t confirmMessage,
                    bool pulseDialling, uint32_t confirmationMode);

    void SetTimeParam(const CallTimeParams& params);
    void GetTimeParam(CallTimeParams& params) const;
    int SetDtmfLevel(uint32_t level);
    uint32_t GetDtmfLevel() const { return dtmfLevel_.load(); }
    void SetConfirmOn(bool on) { confirmOn_ = on; }
    void SetAdvancedDtmfConfirm(bool on) { advancedDtmfConfirm_ = on; }
    // On (the default): busy after the beep whose tone was already on the
    // line before the beep was sent is a hang-up before the beep and
    // confirms nothing. Off: every busy after the beep confirms.
    void SetEarlyBusyDetect(bool on) { earlyBusyDetect_ = on; }
    void SetNotifyResultCallback(NotifyResultCallback cb) { callback_ = cb; }
    uint32_t GetNotifyResult() const { return notifyResult_.load(); }
    uint32_t GetAonFlag() const { return aonDetected_.load(); }

    // "ww123w45" becomes "w123w45": a run of waits for a dial tone is one wait.
    static std::string normaliseNumber(const char* number);

    // For diagnostics and tests.
    uint32_t phase() const { return phase_; }
    uint32_t stateTimeout() const { return timeout_; }
    const std::string& number() const { return number_; }
    uint32_t confirmationMode() const { return confirmationMode_; }
    bool pulseDialling() const { return pulseDialling_; }

    // Seconds of the fixed waits (not settable).
    static constexpr uint32_t kCommandTimeoutS = 3;
    static constexpr uint32_t kSettleAfterSeizureS = 1;
    static constexpr uint32_t kTestPauseS = 5;
    static constexpr uint32_t kDtmfWaitS = 15;
    static constexpr uint32_t kBusyTestWindowS = 2;
    static constexpr uint32_t kBusyWindowStepS = 3;
    static constexpr uint32_t kDialToneTries = 3;
    // Dialling again after a digit went out broken, at most so many times a call.
    static constexpr uint32_t kBrokenDigitRedials = 2;
    static constexpr uint32_t kConfirmDigit = '9';
    // A sound that begins more than this after the last report follows a
    // silence: longer than the pauses of every busy cadence (0.75 s at the
    // slowest, and the exchange's jitter), shorter than the quiet between
    // the beep and a hang-up.
    static constexpr std::chrono::milliseconds kToneRunGap{1000};
    // The beep's echo is first heard 40..70 ms after the beep is asked for;
    // a line whose samples come late and then in a rush (a loaded machine,
    // a simulated board catching up) can make it look a little earlier. A
    // sound first heard less than this before the beep may be that echo.
    static constexpr std::chrono::milliseconds kBeepEchoLead{40};
    // A busy tone is reported once per cadence (about every second, 1.5 s at
    // the slowest); busy reports further apart are not one busy tone.
    static constexpr std::chrono::milliseconds kBusyRunGap{3000};

private:
    using EventHandler = int (CListenLineTest::*)(const ACE_Message_Block*);
    using TimeoutHandler = void (CListenLineTest::*)(uint32_t elapsedS);

    // The one place where the state changes: logs, stamps the entry time,
    // sets the acknowledgement phase and the state's timeout (0 = none).
    void changeState(uint32_t state, uint32_t phase, uint32_t timeoutS);
    void notifyResult(uint32_t result);

    // Fronts shared by the handlers.
    std::optional<AckRecord> checkAcknowledge(const ACE_Message_Block* mb);
    std::optional<EventRecord> checkEvent(const ACE_Message_Block* mb);
    bool isConfirmDigit(const EventRecord& ev) const;
    bool modeAcceptsDigit() const { return confirmationMode_ == 1 || confirmationMode_ == 3; }
    // A machine hangs up when its recording is over: after its tone was
    // heard, a hang-up confirms nothing.
    bool modeAcceptsHangUp() const {
        return (confirmationMode_ == 2 || confirmationMode_ == 3) && !machineHeard_;
    }

    // Named steps.
    void hangDownStep();
    bool unobtainable();
    void freeStep();
    void playStep(uint32_t message, uint32_t state);
    void dialStep();
    void dialToneStep(uint32_t a1);
    void ringBackStep();
    void nextCharacterStep();
    void busyCheck();
    // Busy and other reports while a message or the prompt plays.
    void busyWhilePlaying();
    void quietWhilePlaying(uint32_t lineState);
    bool dialToneRetry();  // true: retry; false: give up
    bool brokenDigitRetry();  // the same after a digit went out broken
    void confirmByDigit(const char* text);
    // Follows the runs of reports of one stretch of sound, to tell a busy
    // that began before the beep from one that began after it.
    void followToneRun(uint32_t lineState, uint32_t soundMs);
    bool busyBeganBeforeBeep() const { return toneRun_ && toneRunBeforeBeep_; }
    void commandTimeOut(uint32_t elapsedS);

    // Event handlers, one per state.
    int onStop(const ACE_Message_Block* mb);
    int onAssignLine(const ACE_Message_Block* mb);
    int onWaitLineReady(const ACE_Message_Block* mb);
    int onReadyLine(const ACE_Message_Block* mb);
    int onHangUp(const ACE_Message_Block* mb);
    int onDialTone(const ACE_Message_Block* mb);
    int onDial(const ACE_Message_Block* mb);
    int onKpw(const ACE_Message_Block* mb);
    int onAbonentHangUp(const ACE_Message_Block* mb);
    int onPlayMsg(const ACE_Message_Block* mb);
    int onPlayConfirmMsg(const ACE_Message_Block* mb);
    int onTestPause(const ACE_Message_Block* mb);
    int onTestBusy(const ACE_Message_Block* mb);
    int onPlayBeep(const ACE_Message_Block* mb);
    int onTestDtmf(const ACE_Message_Block* mb);
    int onHangDown(const ACE_Message_Block* mb);
    int onFreeLine(const ACE_Message_Block* mb);

    // Timeout handlers, one per state.
    void noTimeout(uint32_t) {}
    void hangUpTimeout(uint32_t elapsedS);
    void dialToneTimeout(uint32_t elapsedS);
    void kpwTimeout(uint32_t elapsedS);
    void abonentHangUpTimeout(uint32_t elapsedS);
    void testPauseTimeout(uint32_t elapsedS);
    void testBusyTimeout(uint32_t elapsedS);
    void testDtmfTimeout(uint32_t elapsedS);
    void hangDownTimeout(uint32_t elapsedS);

    struct StateEntry {
        EventHandler onBlock;
        TimeoutHandler onTimeout;
    };
    static const std::array<StateEntry, kAlgorithmStateCount> kTable;

    const CallClock& clock_;

    // Read by GetLineState on callers' threads.
    std::atomic<uint32_t> state_{STOP};
    std::atomic<uint32_t> notifyResult_{NR_NOT_NOTIFY};
    std::atomic<uint32_t> aonDetected_{0};
    bool machineHeard_ = false;  // an answering machine's or fax machine's tone in this call

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
    std::atomic<bool> earlyBusyDetect_{true};
    std::atomic<NotifyResultCallback> callback_{nullptr};

    // Call state, under the logic lock.
    uint32_t phase_ = 0;       // 0 wait RECEIVE, 1/2 wait EXECUTE, 3 events or timeout only
    uint32_t digitIndex_ = 0;  // current character while dialling
    uint32_t lastClass_ = 5;   // last line-state class seen while waiting for ring-back
    uint32_t noDialToneCount_ = 0;
    uint32_t brokenDigitCount_ = 0;
    uint32_t busyCount_ = 0;
    uint32_t playCount_ = 0;
    uint32_t voiceCount_ = 0;
    uint32_t timeout_ = 0;  // seconds allowed in the state; 0 = none
    CallClock::TimePoint enteredAt_{};
    bool redial_ = false;
    bool beepSent_ = false;           // the beep of this call was asked for
    bool toneRun_ = false;            // a stretch of sound is being reported
    bool toneRunBeforeBeep_ = false;  // ... and its run began before the beep was asked for
    bool reportSeen_ = false;         // a line-state report came in this call
    CallClock::TimePoint beepSentAt_{};
    CallClock::TimePoint lastReportAt_{};
    CallClock::TimePoint lastBusyAt_{};  // of the last busy report while playing
    // Set by Stop until the line is given back: the release finishes with
    // the free step even when the hang-down fails or is never answered.
    bool stopping_ = false;
    // A dead line reports NR_LINE_DROP once while it waits to be ready: the
    // busy and drop events that keep coming from it carry no new result, and
    // each report would be booked by the program as a call's end.
    bool dropReported_ = false;

    std::string number_;
    uint32_t mainMessage_ = 0xFFFFFFFF;
    uint32_t confirmMessage_ = 0xFFFFFFFF;
    bool pulseDialling_ = true;
    uint32_t confirmationMode_ = 3;
};

}  // namespace orvel
