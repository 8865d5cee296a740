#include "ui/notify_controller.h"

#include "ui/report_window.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QThread>

#include "core/file_names.h"
#include "core/texts.h"
#include "diag/line_state_log.h"
#include "diag/system_log.h"
#include "notify/notify_scheme.h"
#include "notify/results_workbook.h"
#include "notify/state_dump.h"
#include "ui/message_dialog.h"
#include "ui/notify_param.h"
#include "ui/notify_status.h"
#include "ui/program_context.h"
#include "ui/report_window.h"

namespace orvel {

namespace {
// How often the status window's estimate of the remaining time is renewed.
constexpr int kRunPlanRefreshMs = 10000;
}  // namespace

TNotifyController::TNotifyController(ProgramContext& ctx, std::unique_ptr<ILineLibrary> lib,
                                     IRunClock* clock, QObject* parent)
    : QObject(parent), ctx_(ctx), lib_(std::move(lib)) {
    if (!clock) {
        ownClock_ = std::make_unique<TSystemClock>();
        clock = ownClock_.get();
    }
    clock_ = clock;
    run_ = std::make_unique<TNotifyRun>(*lib_, lines_, ctx_.users, *clock_, &ctx_.lineStateLog);
    run_->setObserver(&bridge_);
    run_->setConfirmMethods(&ctx_.confirmMethods);
    run_->setSettingsStore(&ctx_.settings);
    run_->setDumpLoader([this](const QString& f) { LoadStateDump(f, ctx_.users); });
    run_->setProgressHook([this] { saveProgressNow(); });
    connect(&bridge_, &TRunBridge::ended, this, &TNotifyController::onEnded, Qt::QueuedConnection);
    connect(&bridge_, &TRunBridge::failure, this, &TNotifyController::onFailure,
            Qt::QueuedConnection);
    connect(&bridge_, &TRunBridge::subscriber, this, &TNotifyController::subscriberChanged,
            Qt::QueuedConnection);
    groups_.SetGroupDirectory(ctx_.dirs.groups);
    planTimer_ = new QTimer(this);
    planTimer_->setInterval(kRunPlanRefreshMs);
    connect(planTimer_, &QTimer::timeout, this, &TNotifyController::refreshRunPlan);
}

TNotifyController::~TNotifyController() {
    run_->StopRun();
    if (libraryUp_) {
        lines_.ReleaseAll(*lib_);
        lib_->ShutdownDll();
    }
}

const TLibrarySetup& TNotifyController::setUp() {
    const QString dir = ctx_.dirs.program.isEmpty() ? QStringLiteral(".") : ctx_.dirs.program;
    setup_ =
        setUpLineLibrary(*lib_, dir, dir + QLatin1Char('/') + ctx_.names.lineLibraryLogFileName(),
                         ctx_.settings, lines_, [](int ms) { QThread::msleep(ulong(ms)); });
    libraryUp_ = true;
    return setup_;
}

void TNotifyController::bind(TNotifyStatus* status, TNotifyParam* editor) {
    status_ = status;
    editor_ = editor;
    status_->buildRows();
    connect(&bridge_, &TRunBridge::lineRow, status_, &TNotifyStatus::setLineRow,
            Qt::QueuedConnection);
    connect(&bridge_, &TRunBridge::summary, status_, &TNotifyStatus::setSummary,
            Qt::QueuedConnection);
    connect(&bridge_, &TRunBridge::timeText, status_, &TNotifyStatus::setTimeText,
            Qt::QueuedConnection);
    status_->onStopRun = [this] {
        run_->setStoppedByOperator(true);
        run_->StopRun();
    };
    status_->onSaveDump = [this](const QString& f) {
        std::lock_guard lock(run_->fieldsMutex());
        SaveStateDump(f, ctx_.users);
    };
    status_->chooseDumpFile = [this] {
        const QString dir = ctx_.dirs.program + QStringLiteral("/ONSD");
        QDir().mkpath(dir);
        return QFileDialog::getSaveFileName(
            status_, QString(),
            dir + QLatin1Char('/') +
                QDateTime::currentDateTime().toString(QStringLiteral("yyyy_MM_dd hh_mm_ss")) +
                QStringLiteral(".onsd"),
            QStringLiteral("Orvel Notify State Dump (*.onsd)"));
    };
    status_->onClosing = [this] { closeRun(); };
    editor_->setDirectories(ctx_.dirs.schemes, ctx_.dirs.wavMessages, ctx_.dirs.groups,
                            ctx_.dirs.program);
    editor_->onGroupsLoaded = [this](const QStringList& names) {
        groups_.LoadGroups(names, ctx_.users, false);
        emit listChanged();
    };
    editor_->onSort = [this](int index) {
        ctx_.users.SortBy(false, index + 1, -1);
        emit listChanged();
    };
    editor_->setAttempts(ctx_.options.maxCallsCount);
    editor_->estimate = [this](const TNotifyScheme& s) { return estimateScheme(s); };
}

TPlanRequest TNotifyController::planRequest(int attempts, double pause, int timeLimit,
                                            const QString& messageFile) const {
    TPlanRequest r;
    r.maxAttempts = attempts;
    r.pauseMinutes = pause;
    r.timeLimitMinutes = timeLimit;
    r.programDir = ctx_.dirs.program;
    r.messageFile = messageFile;
    r.confirmFile = findFileNoCase(ctx_.dirs.program, QStringLiteral("Confirm.dat"));
    r.now = clock_->now();
    return r;
}

std::optional<TPlanResult> TNotifyController::estimateScheme(const TNotifyScheme& s) {
    if (run_->running() || lines_.Count() == 0)
        return std::nullopt;
    const TPlanRequest r = planRequest(s.attempts, s.pause, s.timeLimit, s.messageFile);
    TPlanInput in;
    {
        std::lock_guard lock(run_->fieldsMutex());
        in = makePlanInput(ctx_.users, lines_, r);
    }
    return PlanRun(in);
}

void TNotifyController::refreshRunPlan() {
    if (!status_)
        return;
    if (!run_->running()) {
        planTimer_->stop();
        status_->setPlanText(QString());
        return;
    }
    const TRunSettings& rs = run_->settings();
    TPlanRequest r =
        planRequest(rs.maxAttempts, rs.pauseMinutes, rs.timeLimitMinutes, rs.messageFile);
    r.running = true;
    r.runStart = run_->startTime();
    r.model = planModel_;
    TPlanInput in;
    {
        // The run thread writes the subscribers' run fields and the lines.
        std::lock_guard lock(run_->fieldsMutex());
        in = makePlanInput(ctx_.users, lines_, r);
    }
    planModel_ = in.model;
    status_->setPlanText(planRemainingText(PlanRun(in), r.now));
}

bool TNotifyController::inProgress() const {
    return (status_ && status_->isVisible()) || run_->running();
}

bool TNotifyController::PrepareRun() {
    if (ctx_.users.Count() == 0) {
        ShowMessageDialog(T(textNoAbonentsToAlarm) + QLatin1Char('!'),
                          T(textWarning) + QLatin1Char('!'), mb::kOk, kKindWarning);
        return false;
    }
    editor_->setMode(TNotifyParam::Mode::Start);
    if (setIdle)
        setIdle(false);
    return true;
}

bool TNotifyController::startFromButton() {
    if (lines_.Count() == 0) {
        ShowMessageDialog(T(textWorkingLineNotFound) + QStringLiteral(" \"ORVEL\"!"),
                          T(textWarning), mb::kOk, kKindWarning);
        return false;
    }
    WriteSystemLog(QStringLiteral("Prepare notyfication"), 0);
    if (!PrepareRun())
        return false;
    if (editor_->exec() != QDialog::Accepted) {
        if (setIdle)
            setIdle(true);
        return false;
    }
    WriteSystemLog(QStringLiteral("Start notyfication"), 0);
    return StartRun();
}

bool TNotifyController::startScheme(const QString& path) {
    const auto scheme = TNotifyScheme::load(path, ctx_.dirs.program);
    if (!scheme || !PrepareRun())
        return false;
    editor_->applyScheme(*scheme, schemeName(path));
    groups_.LoadGroups(scheme->groups, ctx_.users, false);
    if (!QFileInfo::exists(scheme->messageFile)) {
        ShowMessageDialog(T(textYourMessageFileNotFound) + QLatin1Char('!'),
                          T(textWarning) + QLatin1Char('!'), mb::kOk, kKindWarning);
        if (setIdle)
            setIdle(true);
        return false;
    }
    return StartRun();
}

bool TNotifyController::StartRun() {
    TRunSettings& rs = run_->settings();
    const auto resume = rs.resumeStart;
    rs = TRunSettings{};
    rs.resumeStart = resume;
    rs.programDir = ctx_.dirs.program;
    rs.maxAttempts = editor_->attempts();
    rs.pauseMinutes = editor_->pause();
    rs.timeLimitMinutes = editor_->timeLimit();
    rs.messageFile = editor_->messageFile();
    rs.dumpFile = editor_->dumpFile();
    readRunSwitches(ctx_.settings, rs);
    progress_ = TRunProgress{};
    progress_.scheme = editor_->schemeName();
    progress_.messageFile = rs.messageFile;
    progress_.maxAttempts = rs.maxAttempts;
    progress_.pause = rs.pauseMinutes;
    progress_.timeLimit = rs.timeLimitMinutes;
    progress_.groups = editor_->groups();
    if (status_)
        status_->setErrorText(QString());
    {
        // The call model is read from the logs once, before the run holds
        // the lines; the estimate is then renewed from the run's state.
        const TPlanRequest r =
            planRequest(rs.maxAttempts, rs.pauseMinutes, rs.timeLimitMinutes, rs.messageFile);
        std::lock_guard lock(run_->fieldsMutex());
        planModel_ = makePlanInput(ctx_.users, lines_, r).model;
    }
    QApplication::setOverrideCursor(Qt::BusyCursor);
    const TStartOutcome o = run_->StartRun();
    QApplication::restoreOverrideCursor();
    if (o.error != StartError::None) {
        ShowMessageDialog(o.message, T(textError) + QLatin1Char('!'), mb::kOk, kKindError);
        if (o.error == StartError::NotStarted && closeMainWindow)
            closeMainWindow();
        else if (setIdle)
            setIdle(true);
        return false;
    }
    closed_ = false;
    if (status_)
        status_->show();
    refreshRunPlan();
    planTimer_->start();
    emit listChanged();
    return true;
}

void TNotifyController::saveProgressNow() {
    // On the run thread, with the fields lock held.
    progress_.capture(ctx_.users);
    progress_.start = run_->startTime();
    saveProgress(progressPath(ctx_.dirs.program), progress_);
}

bool TNotifyController::offerUnfinished() {
    const auto p = loadProgress(progressPath(ctx_.dirs.program));
    if (!p || !setup_.ready)
        return false;
    const QString text = QStringLiteral("Оповещение, начатое ") +
                         p->start.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss")) +
                         QStringLiteral(", не было закончено (оповещено ") +
                         QString::number(p->notifiedCount()) + QStringLiteral(" из ") +
                         QString::number(int(p->entries.size())) +
                         QStringLiteral("). Продолжить его?");
    if (ShowMessageDialog(text, T(textQuestion), mb::kYes | mb::kNo, kKindConfirmation) !=
        mb::kResultYes) {
        // Not continued, but not lost either: kept aside under its date.
        QString error;
        const QString kept = keepProgressAside(progressPath(ctx_.dirs.program), p->start, &error);
        if (kept.isEmpty())
            ShowMessageDialog(T(textRunNotKeptAside).arg(error) + QLatin1Char('!'), T(textError),
                              mb::kOk, kKindError);
        else
            ShowMessageDialog(T(textRunKeptAside).arg(kept), T(textEvent), mb::kOk,
                              kKindInformation);
        return false;
    }
    TRunProgress continued = *p;
    continued.reconcile(
        ctx_.dirs.program + QStringLiteral("/Log/") + TLineStateLog::fileNameFor(continued.start),
        ctx_.users);
    continued.apply(ctx_.users);
    if (!PrepareRun())
        return false;
    TNotifyScheme s;
    s.messageFile = p->messageFile;
    s.attempts = p->maxAttempts;
    s.pause = float(p->pause);
    s.groups = p->groups;
    s.timeLimit = p->timeLimit;
    editor_->applyScheme(s, p->scheme);
    run_->settings().resumeStart = p->start;
    // StartRun clears nothing the progress restored: marks and run fields stay.
    return StartRun();
}

void TNotifyController::onFailure(int state) {
    const QString text = engineFailureText(state);
    if (status_)
        status_->setErrorText(text);
    ShowMessageDialog(text, T(textError) + QLatin1Char('!'), mb::kOk, kKindError);
}

void TNotifyController::onEnded() {
    if (run_->running() || closed_)
        return;  // a stale report of a run already ended
    planTimer_->stop();
    if (status_)
        status_->setPlanText(QString());
    lines_.ReleaseAll(*lib_);
    int marked = 0;
    for (int k = 0; k < ctx_.users.Count(); ++k)
        marked += ctx_.users.Item(k)->mark;
    if (marked == 0) {
        ShowMessageDialog(T(textAbonentsNotSpecified) + QLatin1Char('!'), T(textWarning), mb::kOk,
                          kKindWarning);
        if (status_ && status_->isVisible())
            status_->close();
        return;
    }
    const int n = run_->notNotifiedCount();
    WriteSystemLog(T(textAlarmCompleted), 3);
    const bool visible = status_ && status_->isVisible();
    if (n == 0) {
        ShowMessageDialog(T(textAlarmCompleted) + QLatin1Char('!'), T(textEvent), mb::kOk,
                          kKindInformation);
        if (visible)
            status_->close();
        return;
    }
    if (status_ && status_->operatorStop()) {
        if (visible)
            status_->close();
        return;
    }
    const QString q = T(textAlarmCompleted) + QStringLiteral("!\n") + T(textNotAlarmedAbonents) +
                      QStringLiteral(": ") + QString::number(n) + QLatin1Char('\n') +
                      T(textRepeatAlarm) + QLatin1Char('?');
    if (ShowMessageDialog(q, T(textEvent), mb::kYes | mb::kNo, kKindConfirmation) !=
        mb::kResultYes) {
        if (visible)
            status_->close();
        return;
    }
    saveResults();
    run_->prepareRepeat();
    run_->settings().resumeStart.reset();
    emit listChanged();
    if (PrepareRun())
        StartRun();
}

void TNotifyController::saveResults() {
    TReportInput in;
    in.start = run_->startTime();
    // A repeated run saves before the status window closes: its end is now.
    in.end = endTime_.isValid() && endTime_ >= in.start ? endTime_ : QDateTime::currentDateTime();
    in.messageFile = run_->settings().messageFile;
    in.maxAttempts = run_->settings().maxAttempts;
    in.pause = run_->settings().pauseMinutes;
    in.groups = editor_ ? editor_->groups() : QStringList();
    in.timeLimit = run_->settings().timeLimitMinutes;
    in.sortColumn = editor_ ? editor_->sortCaption() : QString();
    in.lineLogPath = ctx_.lineStateLog.currentFile();
    in.operatorName = ctx_.rights.operatorName();
    if (!in.start.isValid())
        return;
    if (!ctx_.settings.readBool(SID_REPORT_AUTOSAVE, true) &&
        ShowMessageDialog(T(textSaveAlarmResult) + QLatin1Char('?'), T(textQuestion),
                          mb::kYes | mb::kNo, kKindConfirmation) != mb::kResultYes)
        return;
    const QString tpl = findReportTemplate(ctx_.dirs.program, ctx_.executableDir);
    if (tpl.isEmpty())
        return;
    QDir().mkpath(ctx_.dirs.reports);
    const QString out = workbookPath(ctx_.dirs.reports, in.start);
    QString error;
    if (!writeResultsWorkbook(tpl, out, ctx_.users, in, &error)) {
        WriteSystemLog(QStringLiteral("Results workbook not written: ") + error, 2);
        return;
    }
    lastWorkbook_ = out;
    if (ctx_.settings.readBool(SID_REPORT_AUTOSHOW, false) &&
        ctx_.rights.has(OperatorRight::ViewReports))
        showReportFile(ctx_, out, status_);
}

void TNotifyController::closeRun() {
    // The run thread is stopped and joined first: it alone writes the lines
    // and the run fields while it runs, and nothing may change under the
    // workbook.
    run_->StopThread();
    planTimer_->stop();
    if (status_)
        status_->setPlanText(QString());
    for (int i = 0; i < lines_.Count(); ++i)
        if (lines_.Items(i)->Enabled == 1 || lines_.Items(i)->Assigned)
            lines_.Items(i)->Release(*lib_);
    endTime_ = QDateTime::currentDateTime();
    closed_ = true;
    try {
        run_->StopRun();
        saveResults();
        ctx_.users.ClearRunFields();
        // The results are saved: there is no unfinished run left.
        QFile::remove(progressPath(ctx_.dirs.program));
    } catch (...) {
    }
    if (setIdle)
        setIdle(true);
    emit listChanged();
}

}  // namespace orvel
