#include "notify/notify_run.h"

#include <pthread.h>
#include <QFileInfo>
#include <climits>

#include "core/confirm_methods.h"
#include "core/cp1251.h"
#include "core/file_names.h"
#include "core/settings_manager.h"
#include "core/texts.h"
#include "data/user_list.h"
#include "diag/line_state_log.h"
#include "diag/system_log.h"

namespace orvel {

namespace {
constexpr qint64 kDayMs = 86400000;
constexpr qint64 kMinuteMs = 60000;
constexpr int kConfirmMessage = 2;
constexpr int kMainMessage = 1;
// The engine's report of a confirmed call, through the result callback.
constexpr uint32_t kEngineNotifyOk = 1;
// A line still polled free this long after a dial never took the call.
constexpr qint64 kCallTakeUpMs = 10000;

}  // namespace

TNotifyRun::TNotifyRun(ILineLibrary& lib, TORVLines& lines, TUserList& users, IRunClock& clock,
                       TLineStateLog* lineLog)
    : lib_(lib), lines_(lines), users_(users), clock_(clock), lineLog_(lineLog) {}

TNotifyRun::~TNotifyRun() {
    finished_ = true;
    stop_.stop();
    if (thread_.joinable())
        thread_.join();
    if (callbackSet_) {
        lib_.setNotifyResultCallback(nullptr);
        TResultQueue::install(nullptr);
    }
}

void TNotifyRun::beginRun() {
    start_ = settings_.resumeStart.value_or(clock_.now());
    end_.reset();
    if (settings_.timeLimitMinutes > 0)
        end_ = start_.addSecs(qint64(settings_.timeLimitMinutes) * 60);
    if (lineLog_)
        lineLog_->startRun(start_);
    lastMinute_ = -1;
    shownTimeSecond_ = -1;
    lastProgramState_ = 0;
    finished_ = false;
}

void TNotifyRun::threadMain() {
    pthread_setname_np(pthread_self(), "orvel-notify");
    try {
        beginRun();
        while (!finished_) {
            try {
                RunPass();
            } catch (...) {
                WriteSystemLog(QStringLiteral("EXCEPTION in then repeat thread!"), 2);
            }
            if (finished_ || clock_.sleep(settings_.passSleepMs, stop_))
                break;
            const qint64 minute = clock_.nowMs() / kMinuteMs;
            if (minute != lastMinute_) {
                std::lock_guard lock(fieldsMutex_);
                updateTimeText();
                lastMinute_ = minute;
            }
        }
    } catch (...) {
        WriteSystemLog(QStringLiteral("EXCEPTION in then main thread!"), 2);
    }
    threadRunning_ = false;
    if (observer_)
        observer_->runEnded();
}

bool TNotifyRun::inWindow(const TUserListItem& s) const {
    if (!s.time.present)
        return true;
    // Times of day compared with a tolerance of one millisecond.
    const qint64 t = passTimeOfDayMs_;
    return t >= qint64(s.time.start) * 1000 - 1 && t <= qint64(s.time.end) * 1000 + 1;
}

bool TNotifyRun::pauseElapsed(const TUserListItem& s) const {
    if (s.attempts <= 0)
        return true;
    return double(passNowMs_ - s.lastStateTime) >= settings_.pauseMinutes * kMinuteMs;
}

bool TNotifyRun::isDone(const TUserListItem& s) const {
    return s.lastState == kStatusNotified || s.lastState == kStatusUnobtainable ||
           (s.flags & kFlagUndialable) || (s.attempts >= settings_.maxAttempts && !s.inCall);
}

int TNotifyRun::indexOf(const TUserListItem* s) const {
    return users_.IndexOfItem(s);
}

void TNotifyRun::RunPass() {
    std::unique_lock lock(fieldsMutex_);
    // The clock is read once a pass; local time (which costs a read of the
    // time zone) only here and after a wait.
    passNowMs_ = clock_.nowMs();
    readLocalOffset(passNowMs_);
    passTimeOfDayMs_ = int(localMsOfDay(passNowMs_));
    const int n = users_.Count();

    // One scan of the list gives the attempt floor, the counters and the
    // completion test of the outcomes polled at the end of the last pass.
    // It also notes the first entry that may be called in this pass: every
    // one before it is skipped by the hand-out below, and none of them can
    // change before the hand-out reaches it, so the hand-out starts there
    // instead of walking the list from its start again.
    floor_ = INT_MAX;
    int firstAtFloor = n;
    TRunCounts c;
    for (int k = 0; k < n; ++k) {
        const TUserListItem& s = *users_.Item(k);
        if (!s.mark)
            continue;
        ++c.marked;
        if (s.lastState == kStatusNotified) {
            ++c.notified;
            continue;
        }
        if (isDone(s)) {
            ++c.failed;
            continue;  // never called again, so it holds no one back
        }
        if (!(s.flags & kFlagUndialable) && s.attempts <= floor_ && inWindow(s) &&
            pauseElapsed(s)) {
            if (s.attempts < floor_)
                firstAtFloor = k;
            floor_ = s.attempts;
        }
    }
    const QString text = summaryText(c);
    if (text != shownSummary_) {
        shownSummary_ = text;
        if (observer_)
            observer_->summaryChanged(text);
    }
    completionTest(c);
    if (finished_)
        return;

    // The lines are polled before each subscriber that may be called, so a
    // line's state is never more than one entry old when it is handed out.
    // Once a fresh poll shows no free line the rest of the pass has nothing
    // to hand out; the next pass begins within the pass pause.
    bool anyFree = true;
    for (int k = firstAtFloor; k < n && anyFree && !finished_; ++k) {
        TUserListItem& s = *users_.Item(k);
        if (!s.mark || s.inCall || s.lastState == kStatusNotified ||
            s.lastState == kStatusUnobtainable || (s.flags & kFlagUndialable) ||
            s.attempts >= settings_.maxAttempts || s.attempts > floor_ || !inWindow(s) ||
            !pauseElapsed(s))
            continue;
        try {
            PollLines();
            anyFree = false;
            bool sameName = false;
            TORVELLine* chosen = nullptr;
            for (int j = 0; j < lines_.Count(); ++j) {
                TORVELLine& l = *lines_.Items(j);
                if (l.State == kStatusFree && !l.Subscriber && l.Enabled == 1) {
                    anyFree = true;
                    if (!chosen && (s.line == -1 || s.line == j))
                        chosen = &l;
                } else if (l.Subscriber && l.Subscriber->name == s.name) {
                    sameName = true;
                }
            }
            if (!sameName && chosen) {
                chosen->Subscriber = &s;
                s.attempts += 1;
                Call(*chosen, k, lock);
            }
            updateTimeText();
        } catch (...) {
            WriteSystemLog(QStringLiteral("EXCEPTION in the get abonent procedure"), 2);
        }
    }
    PollLines();  // outcomes are read even when nobody is waiting for a line
}

void TNotifyRun::refuseCall(TORVELLine& line, TUserListItem& s, int index, const QString& why) {
    line.Subscriber = nullptr;
    s.attempts -= 1;
    s.inCall = 0;
    if (!why.isEmpty())
        WriteSystemLog(why + QStringLiteral(": ") + s.name.toString(), 2);
    if (observer_)
        observer_->subscriberChanged(index);
}

void TNotifyRun::Call(TORVELLine& line, int index, std::unique_lock<std::mutex>& lock) {
    TUserListItem& s = *line.Subscriber;
    int lineIndex = -1;
    for (int j = 0; j < lines_.Count(); ++j)
        if (lines_.Items(j) == &line)
            lineIndex = j;
    const QString phone = s.phone.toString();
    const QString filtered = FilterNumber(phone);
    // A number with nothing to dial would leave the line free with its last
    // result, which would then be booked on this subscriber: refuse it for
    // good and record the failure instead.
    QString digits = filtered;
    digits.remove(QLatin1Char('#')).remove(QLatin1Char(',')).remove(QLatin1Char('w'));
    if (digits.isEmpty()) {
        refuseCall(line, s, index, QStringLiteral("Нет номера для набора"));
        s.flags |= kFlagUndialable;
        s.lastState = kStatusNotConfirmed;
        s.lastStateTime = passNowMs_;
        if (lineLog_) {
            TLineStateRecord r;
            r.line = lineIndex;
            r.state = kStatusNotConfirmed;
            r.time = clockText(clock_.nowMs());
            r.number = phone.left(30);
            r.name = s.name.toString().left(40);
            lineLog_->WriteLineState(r.line, r);
        }
        if (progressHook_)
            progressHook_();
        return;
    }
    const QString dial = AddPrefixes(filtered, line);
    line.LastDialString = dial;
    line.CallSeenBusy = false;
    line.CallStartedMs = clock_.nowMs();
    line.Row.number = dial;
    line.Row.name = s.name.toString();
    s.inCall = 1;
    if (observer_) {
        observer_->lineRowChanged(lineIndex, line.Row);
        observer_->subscriberChanged(index);
    }
    if (settings_.attemptPauseMs > 0) {
        lock.unlock();
        const bool stopped = clock_.sleep(settings_.attemptPauseMs, stop_);
        lock.lock();
        readLocalOffset(clock_.nowMs());
        if (stopped) {
            refuseCall(line, s, index, QString());  // stopped before dialling
            return;
        }
    }
    std::optional<int> mode = kConfirmDtmf;
    if (confirm_)
        mode = confirm_->modeForSubscriber(s.confirmMethod, phone);
    else if (s.confirmMethod != 0)
        mode = s.confirmMethod;
    if (!mode) {
        // A pattern of the method table is broken: not dialled in this pass.
        refuseCall(line, s, index, QStringLiteral("Confirmation method unknown"));
        return;
    }
    const int32_t rc = lib_.CallAbonent(uint32_t(line.Board), uint32_t(line.Channel),
                                        cp1251::encode(dial).toStdString(), line.DialMode,
                                        kMainMessage, kConfirmMessage, *mode);
    if (rc != 0) {
        // The library refused the call: nothing was dialled, so nothing may be
        // booked on the subscriber.
        refuseCall(line, s, index, QStringLiteral("CallAbonent refused"));
        return;
    }
    if (progressHook_)
        progressHook_();
}

bool TNotifyRun::lineDied(const TORVELLine& l) {
    return l.State == kStatusNoLine || (l.State == kStatusNotReady && l.Result == kStatusNoLine);
}

void TNotifyRun::PollLines() {
    if (finished_)
        return;
    LineStateArray a{};
    lib_.GetLineState(a);
    const int state = int(a[0]);
    if (state != lastProgramState_ && state > kStateStarted && observer_)
        observer_->engineFailure(state);
    lastProgramState_ = state;
    // Read after the states: a confirmation reported before the line ends
    // is in the queue by the time a poll can see that line free, so it
    // always belongs to the call the line still holds.
    bookConfirmations();
    qint64 nowMs = -1;
    for (int i = 0; i < lines_.Count(); ++i) {
        TORVELLine& l = *lines_.Items(i);
        const uint32_t* slot = a.data() + lineSlot(l.Board, l.Channel);
        l.State = int32_t(slot[0]);
        l.AonFlag = uint8_t(slot[2] ? 1 : 0);
        if (!l.Assigned && l.State != 0)
            l.State = kStatusNoLine;
        bool rowChanged = l.UpdateLook();
        l.Result = int32_t(slot[1]);
        if (l.Subscriber && l.State != kStatusFree)
            l.CallSeenBusy = true;
        // Right after a dial the line may still read free with the result of
        // its previous call: that result must not be booked on the new
        // subscriber, so the call ends only once the line was seen busy, or
        // as not notified when it never took the call.
        if (l.Subscriber && !l.CallSeenBusy && nowMs < 0)
            nowMs = clock_.nowMs();  // read once a poll
        const bool waitingTakeUp =
            l.Subscriber && !l.CallSeenBusy && nowMs - l.CallStartedMs < kCallTakeUpMs;
        if (l.State == kStatusFree && !waitingTakeUp) {
            if (!l.Row.number.isEmpty() || !l.Row.name.isEmpty()) {
                l.Row.number.clear();
                l.Row.name.clear();
                rowChanged = true;
            }
            if (l.Subscriber) {
                if (!l.CallSeenBusy)
                    l.Result = kStatusNotConfirmed;
                const TLineRow before = l.Row;
                if (l.ResultBooked)
                    endBookedCall(l);
                else
                    finishCall(i, l);
                rowChanged = rowChanged || before.status != l.Row.status ||
                             before.panel != l.Row.panel ||
                             before.controlsVisible != l.Row.controlsVisible;
            }
        } else if (l.Subscriber && l.CallSeenBusy && lineDied(l)) {
            // The line went down in the call (its board failed, or the
            // exchange cut it and it stays cut): the line may never read free
            // again, so the call ends here as "no line", which is not an
            // attempt, and the subscriber waits for another line.
            // A confirmation already booked stands: only the line is let go.
            l.Row.number.clear();
            l.Row.name.clear();
            if (l.ResultBooked) {
                endBookedCall(l);
            } else {
                l.Result = kStatusNoLine;
                finishCall(i, l);
            }
            rowChanged = true;
        }
        if (observer_ && rowChanged)
            observer_->lineRowChanged(i, l.Row);
    }
}

void TNotifyRun::bookConfirmations() {
    if (!queue_)
        return;
    while (const auto r = queue_->pop()) {
        if (r->result != kEngineNotifyOk)
            continue;  // the other outcomes are read from the line when it ends
        for (int i = 0; i < lines_.Count(); ++i) {
            TORVELLine& l = *lines_.Items(i);
            if (uint32_t(l.Board) != r->board || uint32_t(l.Channel) != r->channel)
                continue;
            if (l.Subscriber && !l.ResultBooked && l.CallSeenBusy) {
                // Saved now, while the line still hangs up: a power cut in
                // the seconds before it is free must not call this
                // subscriber again.
                l.Result = kStatusNotified;
                bookResult(i, l);
                l.ResultBooked = true;
                if (progressHook_)
                    progressHook_();
            }
            break;
        }
    }
}

void TNotifyRun::endBookedCall(TORVELLine& l) {
    l.Subscriber = nullptr;
    l.ResultBooked = false;
    if (l.Enabled != 1 && l.Assigned)
        l.Release(lib_);  // switched off during its call
}

bool TNotifyRun::bookedCallsEnding() const {
    for (int i = 0; i < lines_.Count(); ++i)
        if (lines_.Items(i)->ResultBooked)
            return true;
    return false;
}

void TNotifyRun::finishCall(int lineIndex, TORVELLine& l) {
    bookResult(lineIndex, l);
    endBookedCall(l);
    if (progressHook_)
        progressHook_();
}

void TNotifyRun::bookResult(int lineIndex, TORVELLine& l) {
    TUserListItem& s = *l.Subscriber;
    s.inCall = 0;
    if (l.Result == kStatusNoLine && s.attempts > 0)
        s.attempts -= 1;  // a call that found no line does not count
    const qint64 nowMs = clock_.nowMs();
    if (lineLog_) {
        TLineStateRecord r;
        r.line = lineIndex;
        r.state = l.Result;
        r.time = clockText(nowMs);
        r.number = l.LastDialString.left(30);
        r.name = s.name.toString().left(40);
        lineLog_->WriteLineState(lineIndex, r);
    }
    s.lastStateTime = nowMs;
    s.lastState = l.Result;
    if (l.Result == kStatusNoLine && !settings_.keepDroppedLines) {
        l.Assigned = false;
        l.Row.panel = colors::kGrey;
        l.Row.font = colors::kRed;
        l.Row.status = T(textNoLine);
        l.Row.controlsVisible = false;
    }
    if (l.Result == kStatusNotified) {
        s.notifyTime = nowMs;
        for (int k = 0; k < users_.Count(); ++k) {
            TUserListItem& o = *users_.Item(k);
            if (o.mark && &o != &s && o.name == s.name) {
                o.lastState = kStatusNotified;
                if (observer_)
                    observer_->subscriberChanged(k);
            }
        }
    }
    if (l.AonFlag)
        s.flags |= kFlagAonSeen;
    if (observer_) {
        observer_->subscriberChanged(indexOf(&s));
        observer_->callFinished(lineIndex, s);
    }
}

void TNotifyRun::CompletionTest() {
    completionTest(counts());
}

void TNotifyRun::completionTest(const TRunCounts& c) {
    // Done: notified, or attempts used up and not in a call.
    // A confirmation booked early still waits for its line to hang up.
    bool fin = c.notified + c.failed >= total_ && !bookedCallsEnding();
    if (!fin && end_)
        fin = clock_.now() > *end_;
    if (fin)
        finished_ = true;
}

TRunCounts TNotifyRun::counts() const {
    TRunCounts c;
    for (int k = 0; k < users_.Count(); ++k) {
        const TUserListItem& s = *users_.Item(k);
        if (!s.mark)
            continue;
        ++c.marked;
        if (s.lastState == kStatusNotified)
            ++c.notified;
        else if (isDone(s))
            ++c.failed;
    }
    return c;
}

QString TNotifyRun::summary() const {
    return summaryText(counts());
}

QString TNotifyRun::currentTimeText() {
    return timeText(clock_.now(), start_, end_);
}

void TNotifyRun::readLocalOffset(qint64 ms) {
    localOffsetMs_ = qint64(QDateTime::fromMSecsSinceEpoch(ms).offsetFromUtc()) * 1000;
}

qint64 TNotifyRun::localMsOfDay(qint64 ms) const {
    return ((ms + localOffsetMs_) % kDayMs + kDayMs) % kDayMs;
}

QString TNotifyRun::clockText(qint64 ms) const {
    return QTime::fromMSecsSinceStartOfDay(int(localMsOfDay(ms)))
        .toString(QStringLiteral("hh:mm:ss"));
}

void TNotifyRun::updateTimeText() {
    // The text shows whole minutes: one look a second is enough, and spares
    // the local time of every call in a pass.
    const qint64 second = clock_.nowMs() / 1000;
    if (second == shownTimeSecond_)
        return;
    shownTimeSecond_ = second;
    const QString text = currentTimeText();
    if (text == shownTime_)
        return;
    shownTime_ = text;
    if (observer_)
        observer_->timeTextChanged(text);
}

}  // namespace orvel
