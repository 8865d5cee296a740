#pragma once
// The planner's inputs taken from the program's own objects (the marked
// subscribers, the enabled lines with their timing, the messages' lengths,
// earlier runs' logs) and its answer put in the operator's words.

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>

#include "notify/run_planner.h"

namespace orvel {

class TUserList;
class TORVLines;

struct TPlanRequest {
    int maxAttempts = 5;
    double pauseMinutes = 0;
    int timeLimitMinutes = 0;
    QString programDir;   // its "Log" holds earlier runs' line-state logs
    QString messageFile;  // the notification message
    QString confirmFile;  // the confirmation prompt ("Confirm.dat")
    QDateTime now;
    // A run continued or in progress: when it started (the time limit
    // counts from there).
    std::optional<QDateTime> runStart;
    // During a run: the lines it holds are used (not the enabled ones), and
    // subscribers in a call are expected to end half a call later.
    bool running = false;
    // The call model to use as it is: a run's re-estimates reuse the one made
    // at its start instead of reading every log again.
    std::optional<TPlanCallModel> model;
};

// Seconds of sound in a WAVE file; nothing when it is not one.
std::optional<double> wavSeconds(const QString& path);

// Every marked subscriber, every line the run would use (enabled ones), the
// call model from the logs or the defaults. Reads the list's run fields: a
// caller on another thread than the run's holds the run's fields lock.
TPlanInput makePlanInput(const TUserList& users, const TORVLines& lines, const TPlanRequest& r);

// One line for the scheme editor: "Окончание около 14:35, успеют все", or the
// warning that the time limit leaves some subscribers uncalled.
QString planSummaryText(const TPlanResult& plan, int timeLimitMinutes);
// Whether that line is a warning (the time limit cannot be met, or the run
// would not end by itself).
bool planIsWarning(const TPlanResult& plan);
// For the status window during a run: "Оценка: окончание около 14:35,
// осталось около 0:25".
QString planRemainingText(const TPlanResult& plan, const QDateTime& now);
// The whole estimate, a line each, for the headless runner.
QStringList planReport(const TPlanResult& plan, int timeLimitMinutes);

}  // namespace orvel
