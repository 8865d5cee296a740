#pragma once
// One headless notification: a scheme (or an unfinished run) over a program
// directory, with the run's progress kept on disk after every call, the
// results workbook at the end and optional repeated runs for the not
// notified. The same core classes as the operator program, without windows.

#include <QString>
#include <QTextStream>
#include <functional>
#include <memory>

#include "notify/line_library.h"

namespace orvel {

struct TSessionOptions {
    QString programDir;
    QString exeDir;
    QString scheme;      // name in the scheme directory, or a path to a .sch file
    bool fresh = false;      // keep an unfinished run aside and start the scheme anew
    bool continueRun = false;  // continue an unfinished run (the scheme given is not used)
    bool markAll = false;
    int repeats = 0;
    bool quiet = false;
    bool planOnly = false;  // print the run's estimate and call nobody
    int dieAfterCalls = -1;  // test hook: end the process abruptly after this many calls
    // Told of every call whose result the run has booked: the line's board
    // and channel and the result's status code (for tools and tests that count).
    std::function<void(int board, int channel, int result)> callBooked;
};

enum SessionExit : int {
    kExitAllNotified = 0,
    kExitSomeNotNotified = 1,
    kExitBadInput = 2,
    kExitLibraryFailure = 3,
    kExitStopped = 4,
    // A scheme was asked for while an unfinished run waits: neither is
    // chosen silently (--continue or --fresh decides).
    kExitUnfinishedRun = 5,
    // The run went on, but some file could not be written (a full disk):
    // each is named on standard error.
    kExitWriteFailed = 6,
};

// Runs the session to its end; `stopRequested` is polled while the run goes
// (an interrupt sets it). Messages go to `out`.
int runSession(const TSessionOptions& options, ILineLibrary& lib, QTextStream& out,
               const std::function<bool()>& stopRequested);

}  // namespace orvel
