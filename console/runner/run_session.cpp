#include "runner/run_session.h"

#include <malloc.h>
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

#include "core/confirm_methods.h"
#include "core/file_names.h"
#include "core/safe_file.h"
#include "core/settings_manager.h"
#include "core/texts.h"
#include "data/user_group.h"
#include "data/user_list.h"
#include "diag/line_state_log.h"
#include "diag/system_log.h"
#include "notify/library_setup.h"
#include "notify/notify_lines.h"
#include "notify/notify_run.h"
#include "notify/notify_scheme.h"
#include "notify/plan_estimate.h"
#include "notify/results_workbook.h"
#include "notify/run_progress.h"

namespace orvel {

namespace {

// Prints line changes and counters as they come; wakes the waiting session
// at the run's end.
class ConsoleObserver final : public IRunObserver {
public:
    ConsoleObserver(QTextStream& out, bool quiet, int dieAfter, const TORVLines& lines,
                    std::function<void(int, int, int)> booked)
        : out_(out),
          lines_(lines),
          quiet_(quiet),
          dieAfter_(dieAfter),
          booked_(std::move(booked)),
          lineDigits_(qMax(2, int(QString::number(lines.Count()).size()))) {}
    int calls() const { return calls_; }

    void lineRowChanged(int line, const TLineRow& row) override {
        if (quiet_ || row.status.isEmpty())
            return;
        out_ << QTime::currentTime().toString(QStringLiteral("hh:mm:ss")) << "  L"
             << QString::number(line + 1).rightJustified(lineDigits_, QLatin1Char('0')) << "  "
             << row.status.leftJustified(24) << row.number.leftJustified(16) << row.name << '\n';
        out_.flush();
    }
    void summaryChanged(const QString& text) override {
        out_ << "--" << text << '\n';
        out_.flush();
    }
    void callFinished(int line, const TUserListItem& s) override {
        ++calls_;
        if (booked_ && line >= 0 && line < lines_.Count())
            booked_(lines_.Items(line)->Board, lines_.Items(line)->Channel, s.lastState);
        if (!quiet_) {
            out_ << "   "
                 << T(textRunCallFinished)
                        .arg(line + 1)
                        .arg(s.name.toString(), resultText(s.lastState))
                 << '\n';
            out_.flush();
        }
    }
    void afterProgressSaved() {
        if (dieAfter_ >= 0 && calls_ >= dieAfter_) {
            out_ << "ending abruptly after " << calls_ << " calls\n";
            out_.flush();
            ::_exit(9);
        }
    }
    void engineFailure(int state) override {
        out_ << T(textRunLibraryState).arg(state) << '\n';
        out_.flush();
    }
    void runEnded() override {
        std::lock_guard lock(mutex_);
        ended_ = true;
        cv_.notify_all();
    }
    bool waitEnded(int ms) {
        std::unique_lock lock(mutex_);
        return cv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return ended_; });
    }
    void reset() {
        std::lock_guard lock(mutex_);
        ended_ = false;
    }

private:
    QTextStream& out_;
    const TORVLines& lines_;
    bool quiet_;
    int dieAfter_;
    std::function<void(int, int, int)> booked_;
    int lineDigits_;  // line numbers all as wide as the highest
    int calls_ = 0;
    std::mutex mutex_;
    std::condition_variable cv_;
    bool ended_ = false;
};

// Calls made so far, the rate since the first run began and the processor
// time the whole program has used, in all and per line.
void printThroughput(QTextStream& out, int calls, const QDateTime& start, int lines) {
    const double hours = double(start.msecsTo(QDateTime::currentDateTime())) / 3.6e6;
    rusage use{};
    ::getrusage(RUSAGE_SELF, &use);
    const double cpu = double(use.ru_utime.tv_sec + use.ru_stime.tv_sec) +
                       double(use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e6;
    out << T(textRunCalls).arg(calls);
    if (hours > 0)
        out << ", " << T(textRunCallsPerHour).arg(qRound(calls / hours));
    out << "; " << T(textRunProcessorTime).arg(QString::number(cpu, 'f', 1));
    if (lines > 0)
        out << ", " << T(textRunProcessorTimePerLine).arg(QString::number(cpu / lines, 'f', 2));
    out << '\n';
}

QString schemePath(const QString& schemeDir, const QString& scheme) {
    if (scheme.endsWith(QLatin1String(".sch"), Qt::CaseInsensitive) && QFileInfo::exists(scheme))
        return scheme;
    return findFileNoCase(schemeDir, scheme + QStringLiteral(".sch"));
}

int sessionOnThisThread(const TSessionOptions& o, ILineLibrary& lib, QTextStream& out,
                        const std::function<bool()>& stopRequested) {
    const int failuresBefore = writeFailureCount();
    const QString dir = withoutTrailingDelimiter(o.programDir);
    if (dir.isEmpty() || !QFileInfo(dir).isDir()) {
        out << T(textRunNoProgramDir).arg(o.programDir) << '\n';
        return kExitBadInput;
    }
    const QString groupsDir = dir + QStringLiteral("/Groups");
    const QString reportsDir = dir + QStringLiteral("/Reports");
    QDir().mkpath(reportsDir);
    SettingsManager settings(findFileNoCase(dir, QStringLiteral("ORVEL.ini")));
    systemLog().setPath(findFileNoCase(dir, QStringLiteral("OrvelSys.log")));
    TLineStateLog lineLog(dir);
    TConfirmMethodManager confirm;
    confirm.load(settings);
    TUserList users(&settings);
    if (!users.open(dir, settings.readInt(SID_CRYPT_MODE, 0))) {
        out << T(textRunNoTable).arg(dir) << '\n';
        return kExitBadInput;
    }

    // What to run: an unfinished run first, unless told to start afresh.
    const QString progressFile = progressPath(dir);
    TRunProgress progress;
    std::optional<TRunProgress> unfinished = loadProgress(progressFile);
    if (unfinished && !o.scheme.isEmpty() && !o.continueRun && !o.fresh) {
        out << T(textRunUnfinishedRefused)
                   .arg(unfinished->start.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss")))
                   .arg(unfinished->notifiedCount())
                   .arg(int(unfinished->entries.size()))
            << '\n';
        return kExitUnfinishedRun;
    }
    if (unfinished && o.fresh) {
        // Starting afresh loses nothing: the unfinished run is kept aside.
        QString error;
        const QString kept = keepProgressAside(progressFile, unfinished->start, &error);
        if (kept.isEmpty()) {
            out << T(textRunNotKeptAside).arg(error) << '\n';
            return kExitBadInput;
        }
        out << T(textRunKeptAside).arg(kept) << '\n';
        unfinished.reset();
    }
    TRunSettings rs;
    QString sortCaption;  // the scheme's sort column, named in the workbook
    if (unfinished) {
        progress = *unfinished;
        progress.reconcile(
            lineLog.fileNameFor(progress.start).prepend(dir + QStringLiteral("/Log/")), users);
        const auto scheme = TNotifyScheme::load(progress.scheme, dir);
        if (scheme && scheme->sortIndex >= 0 && scheme->sortIndex < users.columns().Count())
            sortCaption = users.columns().Item(scheme->sortIndex).name;
        const int found = progress.apply(users);
        out << T(textRunContinuing)
                   .arg(progress.start.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss")))
                   .arg(found)
                   .arg(progress.notifiedCount())
            << '\n';
        rs.resumeStart = progress.start;
        if (!o.scheme.isEmpty())
            out << T(textRunSchemeIgnored).arg(o.scheme) << '\n';
    } else {
        if (o.scheme.isEmpty()) {
            out << T(textRunNoScheme) << '\n';
            return kExitBadInput;
        }
        const QString path = schemePath(dir + QStringLiteral("/NotifyScheme"), o.scheme);
        const auto scheme = TNotifyScheme::load(path, dir);
        if (!scheme) {
            out << T(textAlarmScheme) << " \"" << o.scheme << "\" " << T(textNotFoundF).toLower()
                << "!\n";
            return kExitBadInput;
        }
        WriteSystemLog(
            T(textAlarmSchemeLoaded) + QStringLiteral(": \"") + path + QStringLiteral("\""), 1);
        TUserGroup groups;
        groups.SetGroupDirectory(groupsDir);
        for (int k = 0; k < users.Count(); ++k)
            users.Item(k)->mark = o.markAll ? 1 : 0;
        groups.LoadGroups(scheme->groups, users, !o.markAll);
        if (scheme->sortIndex >= 0 && scheme->sortIndex < users.columns().Count()) {
            users.SortBy(false, scheme->sortIndex + 1, -1);
            sortCaption = users.columns().Item(scheme->sortIndex).name;
        }
        progress.scheme = path;
        progress.messageFile = scheme->messageFile;
        progress.maxAttempts = scheme->attempts;
        progress.pause = scheme->pause;
        progress.timeLimit = scheme->timeLimit;
        progress.groups = scheme->groups;
    }
    users.ClearRunFields();
    if (unfinished)
        progress.apply(users);  // fields back after the clearing above
    if (!QFileInfo::exists(progress.messageFile)) {
        out << T(textYourMessageFileNotFound) << ": " << progress.messageFile << '\n';
        return kExitBadInput;
    }
    int marked = 0;
    for (int k = 0; k < users.Count(); ++k)
        marked += users.Item(k)->mark;
    if (marked == 0) {
        out << T(textNoAbonentsToAlarm) << "!\n";
        return kExitBadInput;
    }

    TORVLines lines;
    const TLibrarySetup setup = setUpLineLibrary(
        lib, dir, dir + QStringLiteral("/OrvelDll.log"), settings, lines,
        [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); });
    for (const QString& l : setup.unreachable)
        out << T(textRunLineNotServed).arg(unservedLineText(l)) << '\n';
    if (!setup.ready) {
        for (const QString& e : setup.errors)
            out << e << '\n';
        lib.ShutdownDll();
        return kExitLibraryFailure;
    }
    out << T(textRunLinesAndSubscribers).arg(lines.Count()).arg(marked) << '\n';
    {
        // Before anyone is called: when the run should end, and whether the
        // time limit can be met.
        TPlanRequest pr;
        pr.maxAttempts = progress.maxAttempts;
        pr.pauseMinutes = progress.pause;
        pr.timeLimitMinutes = progress.timeLimit;
        pr.programDir = dir;
        pr.messageFile = progress.messageFile;
        pr.confirmFile = findFileNoCase(dir, QStringLiteral("Confirm.dat"));
        pr.now = QDateTime::currentDateTime();
        if (rs.resumeStart && rs.resumeStart->isValid())
            pr.runStart = rs.resumeStart;
        const TPlanResult plan = PlanRun(makePlanInput(users, lines, pr));
        for (const QString& l : planReport(plan, progress.timeLimit))
            out << "   " << l << '\n';
        out.flush();
    }
    if (o.planOnly) {
        lib.ShutdownDll();
        return kExitAllNotified;
    }

    TSystemClock clock;
    TNotifyRun run(lib, lines, users, clock, &lineLog);
    ConsoleObserver observer(out, o.quiet, o.dieAfterCalls, lines, o.callBooked);
    run.setObserver(&observer);
    run.setConfirmMethods(&confirm);
    run.setSettingsStore(&settings);
    rs.programDir = dir;
    rs.maxAttempts = progress.maxAttempts;
    rs.pauseMinutes = progress.pause;
    rs.timeLimitMinutes = progress.timeLimit;
    rs.messageFile = progress.messageFile;
    readRunSwitches(settings, rs);
    run.settings() = rs;
    run.setProgressHook([&] {
        progress.capture(users);
        progress.start = run.startTime();
        saveProgress(progressFile, progress);
        observer.afterProgressSaved();
    });

    int exitCode = kExitAllNotified;
    bool resultsKept = true;  // every round's workbook written
    const QDateTime sessionStart = QDateTime::currentDateTime();
    for (int round = 0;; ++round) {
        observer.reset();
        const TStartOutcome started = run.StartRun();
        if (started.error != StartError::None) {
            out << started.message << '\n';
            run.StopRun();
            lines.ReleaseAll(lib);
            lib.ShutdownDll();
            // A message the lines refuse is the operator's input, not a
            // failure of the line library.
            const bool badInput = started.error == StartError::MessageLoad ||
                                  started.error == StartError::ConfirmLoad ||
                                  started.error == StartError::ConfirmMissing;
            return badInput ? kExitBadInput : kExitLibraryFailure;
        }
        bool stopped = false;
        while (!observer.waitEnded(200)) {
            if (!stopped && stopRequested()) {
                out << T(textRunStopping) << '\n';
                run.setStoppedByOperator(true);
                stopped = true;
                run.StopRun();
            }
        }
        lines.ReleaseAll(lib);
        run.StopRun();
        if (stopped) {
            out << T(textRunStopped) << '\n';
            lib.ShutdownDll();
            return kExitStopped;
        }
        const int notNotified = run.notNotifiedCount();
        WriteSystemLog(T(textAlarmCompleted), 3);
        TReportInput in;
        in.start = run.startTime();
        in.end = QDateTime::currentDateTime();
        in.messageFile = rs.messageFile;
        in.maxAttempts = rs.maxAttempts;
        in.pause = rs.pauseMinutes;
        in.groups = progress.groups;
        in.timeLimit = rs.timeLimitMinutes;
        in.lineLogPath = lineLog.currentFile();
        in.sortColumn = sortCaption;
        in.operatorName = QStringLiteral("orvel-run");
        const QString tpl = findReportTemplate(dir, o.exeDir);
        const QString book = workbookPath(reportsDir, in.start);
        QString error;
        if (tpl.isEmpty())
            out << T(textRunNoTemplate) << '\n';
        else if (writeResultsWorkbook(tpl, book, users, in, &error))
            out << T(textRunResults).arg(book) << '\n';
        else {
            out << T(textRunResultsNotWritten).arg(error) << '\n';
            resultsKept = false;
        }
        out << T(textAlarmCompleted) << ". " << T(textNotAlarmedAbonents) << ": " << notNotified
            << '\n';
        printThroughput(out, observer.calls(), sessionStart, lines.Count());
        exitCode = notNotified == 0 ? kExitAllNotified : kExitSomeNotNotified;
        if (notNotified == 0 || round >= o.repeats)
            break;
        out << T(textRepeatAlarm) << '\n';
        run.prepareRepeat();
        progress.start = QDateTime();
        run.settings().resumeStart.reset();
    }
    // The run is over and its results are saved: nothing left to continue.
    // Without its workbook the progress stays: a later --continue finds
    // everyone done and writes the workbook then.
    if (resultsKept) {
        QFile::remove(progressFile);
    } else {
        progress.capture(users);
        progress.start = run.startTime();
        saveProgress(progressFile, progress);
    }
    lib.ShutdownDll();
    if (writeFailureCount() > failuresBefore) {
        out << T(textRunWriteFailures).arg(writeFailureCount() - failuresBefore) << '\n';
        return kExitWriteFailed;
    }
    return exitCode;
}

}  // namespace

// A session makes and frees a great many small blocks on the thread that
// drives it (the table, the scheme, the lines, the workbook, the engine's
// boards). The C library keeps the last few freed blocks of every small size
// in a cache of that thread's own, out of reach of the trim at the engine's
// shutdown, and each block kept pins the page it lies in among pages the run
// has otherwise freed. On a host that drives session after session from one
// thread, those pages stayed resident, a few more after each session until
// the cache was full (about 600 KiB). A thread of the session's own hands its
// cache back to the heap when it ends, and the trim after it gives those
// pages back, so nothing the session used outlives it.
int runSession(const TSessionOptions& o, ILineLibrary& lib, QTextStream& out,
               const std::function<bool()>& stopRequested) {
    int exitCode = kExitLibraryFailure;
    std::exception_ptr failure;
    std::thread session([&] {
        pthread_setname_np(pthread_self(), "orvel-session");
        try {
            exitCode = sessionOnThisThread(o, lib, out, stopRequested);
        } catch (...) {
            failure = std::current_exception();
        }
    });
    session.join();
    // What the thread's cache held is free now; the engine's trim came before.
    ::malloc_trim(0);
    if (failure)
        std::rethrow_exception(failure);
    return exitCode;
}

}  // namespace orvel
