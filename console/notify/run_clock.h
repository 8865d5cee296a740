#pragma once
// Where the run takes its time from, and how it waits. Waits end early when
// the run is stopped, so a stop never waits out a pause.

#include <QDateTime>
#include <atomic>
#include <condition_variable>
#include <mutex>

namespace orvel {

// A stop request that wakes every wait at once.
class TStopSignal {
public:
    void stop();
    void reset();
    bool stopped() const { return stopped_.load(); }
    // True when the stop came before `ms` passed.
    bool waitFor(int ms);

private:
    std::atomic<bool> stopped_{false};
    std::mutex mutex_;
    std::condition_variable cv_;
};

class IRunClock {
public:
    virtual ~IRunClock() = default;
    virtual QDateTime now() = 0;  // local time
    // The same moment as milliseconds since the epoch. Cheap: no conversion
    // to local time, which reads the time zone file on every call.
    virtual qint64 nowMs() = 0;
    // Waits `ms`; true when the stop signal ended the wait.
    virtual bool sleep(int ms, TStopSignal& stop) = 0;
};

class TSystemClock final : public IRunClock {
public:
    QDateTime now() override { return QDateTime::currentDateTime(); }
    qint64 nowMs() override { return QDateTime::currentMSecsSinceEpoch(); }
    bool sleep(int ms, TStopSignal& stop) override { return stop.waitFor(ms); }
};

// Time that moves only when told to; a sleep moves it forward at once.
class TManualClock final : public IRunClock {
public:
    explicit TManualClock(QDateTime start) : now_(start.toMSecsSinceEpoch()) {}
    QDateTime now() override { return QDateTime::fromMSecsSinceEpoch(now_.load()); }
    qint64 nowMs() override { return now_.load(); }
    bool sleep(int ms, TStopSignal& stop) override {
        now_ += ms;
        return stop.stopped();
    }
    void advance(qint64 ms) { now_ += ms; }

private:
    std::atomic<qint64> now_;
};

}  // namespace orvel
