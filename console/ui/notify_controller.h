#pragma once
// The notification in the operator program: brings the line library up with
// the main window, starts runs from the start button, the command line or an
// unfinished run, carries the run's reports to the status window, handles the
// end of a run and its failures, and saves the results when the status
// window closes.

#include <QDateTime>
#include <QObject>
#include <QTimer>
#include <memory>
#include <optional>

#include "data/user_group.h"
#include "notify/library_setup.h"
#include "notify/notify_lines.h"
#include "notify/notify_run.h"
#include "notify/plan_estimate.h"
#include "notify/run_bridge.h"
#include "notify/run_clock.h"
#include "notify/run_progress.h"

namespace orvel {

struct ProgramContext;
class TNotifyStatus;
class TNotifyParam;
struct TNotifyScheme;

class TNotifyController : public QObject {
    Q_OBJECT
public:
    TNotifyController(ProgramContext& ctx, std::unique_ptr<ILineLibrary> lib,
                      IRunClock* clock = nullptr, QObject* parent = nullptr);
    ~TNotifyController() override;

    // InitDll and the lines (main-window set-up); the errors for dialogs.
    const TLibrarySetup& setUp();
    bool ready() const { return setup_.ready; }
    void bind(TNotifyStatus* status, TNotifyParam* editor);

    ILineLibrary& library() { return *lib_; }
    TORVLines& lines() { return lines_; }
    TNotifyRun& run() { return *run_; }
    TUserGroup& groups() { return groups_; }
    bool inProgress() const;

    // The start button: scheme editor in start mode, then the run. False
    // when nothing was started.
    bool startFromButton();
    // The command-line scheme: load it and start without the editor.
    bool startScheme(const QString& schemePath);
    // A run that did not end (the program died): offered and continued.
    bool offerUnfinished();
    bool PrepareRun();
    bool StartRun();
    // Ends the run the way the status window's closing does.
    void closeRun();
    QString lastWorkbook() const { return lastWorkbook_; }
    // The estimate of a run of `scheme` over the marked subscribers, for the
    // scheme editor; nothing while a run goes.
    std::optional<TPlanResult> estimateScheme(const TNotifyScheme& scheme);
    // The status window's estimate of the time the run still needs, from
    // the run's state now (who is done, attempts used, lines in a call).
    // A timer calls it while the run goes.
    void refreshRunPlan();

    // Idle (true) or run mode (false) of the main window.
    std::function<void(bool)> setIdle;
    std::function<void()> refreshList;
    std::function<void()> closeMainWindow;

signals:
    void listChanged();
    void subscriberChanged(int index);

private:
    void onEnded();
    void onFailure(int state);
    void saveResults();
    void saveProgressNow();
    TPlanRequest planRequest(int attempts, double pause, int timeLimit,
                             const QString& messageFile) const;

    ProgramContext& ctx_;
    std::unique_ptr<ILineLibrary> lib_;
    std::unique_ptr<IRunClock> ownClock_;
    IRunClock* clock_;
    TORVLines lines_;
    TUserGroup groups_;
    TRunBridge bridge_;
    std::unique_ptr<TNotifyRun> run_;
    TLibrarySetup setup_;
    TRunProgress progress_;
    TNotifyStatus* status_ = nullptr;
    TNotifyParam* editor_ = nullptr;
    QTimer* planTimer_;
    // The call model of the run's estimate at its start, reused while it
    // runs (reading every log again under the run's lock would hold it up).
    std::optional<TPlanCallModel> planModel_;
    QDateTime endTime_;
    QString lastWorkbook_;
    bool libraryUp_ = false;
    // Set when the status window closed the run: its end report, still
    // queued, must not offer a repeated run.
    bool closed_ = true;
};

}  // namespace orvel
