#pragma once
// A notification run: hands the marked subscribers one call at a time to the
// free lines, reads the outcomes from the polled line states and calls again
// those not notified, until everyone is done or the time limit has passed.
//
// Active object: the run thread owns the run fields of the subscriber entries
// and the lines' call fields while it runs; it writes them only with
// fieldsMutex() held, and readers on other threads take the same lock.

#include <QDateTime>
#include <QString>
#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

#include "notify/line_library.h"
#include "notify/notify_lines.h"
#include "notify/result_queue.h"
#include "notify/run_clock.h"
#include "notify/run_texts.h"

namespace orvel {

class TUserList;
struct TUserListItem;
class TLineStateLog;
class TConfirmMethodManager;
class SettingsManager;

// Flag bits of a subscriber entry.
inline constexpr uint8_t kFlagAonSeen = 0x01;
inline constexpr uint8_t kFlagUndialable = 0x02;  // no number to dial: never called
inline constexpr uint8_t kFlagRepeated = 0x04;

struct TRunSettings {
    int maxAttempts = 5;
    double pauseMinutes = 0;
    int timeLimitMinutes = 0;
    QString messageFile;
    QString dumpFile;
    QString programDir;
    bool abonentConfirmation = true;  // SID_ABONENT_CONFIRMATION
    bool keepDroppedLines = true;     // SID_USER_DROP_LINES
    int attemptPauseMs = 0;           // SID_ATTEMPT_PAUSE
    int passSleepMs = 200;
    int stateWaitTries = 51;
    // Continuing a run that did not end: its start (the time limit and the
    // line-state log go on from there).
    std::optional<QDateTime> resumeStart;
};

// Reads the program-wide run switches of the settings into `s`.
void readRunSwitches(const SettingsManager& settings, TRunSettings& s);

// What the run tells the windows (or the headless runner). Called on the run
// thread with the fields lock held: implementations only copy and pass on.
class IRunObserver {
public:
    virtual ~IRunObserver() = default;
    virtual void lineRowChanged(int /*line*/, const TLineRow& /*row*/) {}
    virtual void summaryChanged(const QString& /*text*/) {}
    virtual void timeTextChanged(const QString& /*text*/) {}
    virtual void subscriberChanged(int /*index*/) {}
    virtual void callFinished(int /*line*/, const TUserListItem& /*s*/) {}
    virtual void runEnded() {}
    virtual void engineFailure(int /*state*/) {}
};

enum class StartError { None, ConfirmMissing, MessageLoad, ConfirmLoad, StartDll, NotStarted };

struct TStartOutcome {
    StartError error = StartError::None;
    QString message;  // for the error dialog, empty on success
};

class TNotifyRun {
public:
    TNotifyRun(ILineLibrary& lib, TORVLines& lines, TUserList& users, IRunClock& clock,
               TLineStateLog* lineLog = nullptr);
    ~TNotifyRun();

    TRunSettings& settings() { return settings_; }
    void setConfirmMethods(const TConfirmMethodManager* m) { confirm_ = m; }
    void setSettingsStore(const SettingsManager* s) { store_ = s; }
    void setObserver(IRunObserver* o) { observer_ = o; }
    // Called after every finished call with the fields lock held, to save
    // the run's progress.
    void setProgressHook(std::function<void()> hook) { progressHook_ = std::move(hook); }
    // Called when the state dump file is to be applied at start.
    void setDumpLoader(std::function<void(const QString&)> f) { dumpLoader_ = std::move(f); }

    // Loads the messages, starts the library, assigns the lines and starts
    // the run thread.
    TStartOutcome StartRun();
    // Stops the thread (always joined: every wait of the run ends at once on
    // a stop) and the library. Harmless when nothing runs.
    void StopRun();
    // The first half of StopRun: the callback off and the thread joined,
    // the library left running.
    void StopThread();
    // The operator switched a line on or off while a run is in progress: a
    // line switched on is assigned at once; one switched off is never handed
    // a subscriber again and is released at once when free, else when its
    // call ends.
    void switchLine(int index, bool enabled);
    // True from StartRun's success until StopRun or the run thread's end.
    bool running() const { return threadRunning_.load(); }
    bool finished() const { return finished_.load(); }
    bool stoppedByOperator() const { return operatorStop_; }
    void setStoppedByOperator(bool v) { operatorStop_ = v; }

    // The steps of a run without its thread, for tests and benchmarks.
    void resetRunFields();  // total, attempt floor, nobody in a call
    void assignLines();     // every enabled line assigned and configured
    void beginRun();        // start time, end time, line log name
    void RunPass();         // one pass without its closing sleep
    void PollLines();
    void CompletionTest();

    // After the run thread has ended: every marked entry not notified.
    int notNotifiedCount() const;
    // Resets the list for a repeated run: the notified are unmarked, the
    // others start again from 0 attempts.
    void prepareRepeat();

    TRunCounts counts() const;
    QString summary() const;
    QString currentTimeText();
    QDateTime startTime() const { return start_; }
    std::optional<QDateTime> endTime() const { return end_; }
    int attemptFloor() const { return floor_; }
    int total() const { return total_; }
    std::mutex& fieldsMutex() { return fieldsMutex_; }
    TResultQueue* resultQueue() { return queue_.get(); }

private:
    void threadMain();
    void Call(TORVELLine& line, int index, std::unique_lock<std::mutex>& lock);
    void refuseCall(TORVELLine& line, TUserListItem& s, int index, const QString& why);
    void finishCall(int lineIndex, TORVELLine& line);
    // The line is down in the middle of a call and may stay so.
    static bool lineDied(const TORVELLine& line);
    // The subscriber's side of a call's end: result, log record, counters.
    void bookResult(int lineIndex, TORVELLine& line);
    // The line's side: free for the next subscriber.
    void endBookedCall(TORVELLine& line);
    // Confirmations the engine reported through the result queue, booked
    // before their lines are free.
    void bookConfirmations();
    bool bookedCallsEnding() const;
    void publishRow(int line, TORVELLine& l);
    bool inWindow(const TUserListItem& s) const;
    bool pauseElapsed(const TUserListItem& s) const;
    bool isDone(const TUserListItem& s) const;
    void updateTimeText();
    // Local time from the epoch ms through the offset read at the pass's start
    // (or after a wait within it).
    void readLocalOffset(qint64 ms);
    qint64 localMsOfDay(qint64 ms) const;
    QString clockText(qint64 ms) const;  // "hh:mm:ss"
    void completionTest(const TRunCounts& counts);
    int indexOf(const TUserListItem* s) const;

    ILineLibrary& lib_;
    TORVLines& lines_;
    TUserList& users_;
    IRunClock& clock_;
    TLineStateLog* lineLog_;
    const TConfirmMethodManager* confirm_ = nullptr;
    const SettingsManager* store_ = nullptr;
    IRunObserver* observer_ = nullptr;
    std::function<void()> progressHook_;
    std::function<void(const QString&)> dumpLoader_;
    TRunSettings settings_;

    std::mutex fieldsMutex_;
    std::unique_ptr<TResultQueue> queue_;
    TStopSignal stop_;
    std::thread thread_;
    std::atomic<bool> finished_{true};
    std::atomic<bool> threadRunning_{false};
    bool operatorStop_ = false;
    bool callbackSet_ = false;

    int total_ = 0;
    int floor_ = 0;
    int lastProgramState_ = 0;
    QDateTime start_;
    std::optional<QDateTime> end_;
    // Per pass: the clock read once.
    qint64 passNowMs_ = 0;
    int passTimeOfDayMs_ = 0;
    qint64 localOffsetMs_ = 0;
    qint64 shownTimeSecond_ = -1;
    qint64 lastMinute_ = -1;
    QString shownTime_;
    QString shownSummary_;
};

}  // namespace orvel
