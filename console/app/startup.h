#pragma once
// The program's start: from the executable's directory to the main window
// accepting input, and the options the tests and unattended runs use.

#include <QStringList>

namespace orvel {

struct StartOptions {
    QStringList parameters;       // command line without hidden options
    int exitAfterMs = -1;         // --orvel-exit-after=<ms>: close the main window then
    QString screenshotDir;        // --orvel-screenshot=<dir>: save pictures of the windows
    int screenshotDelayMs = 300;  // --orvel-screenshot-delay=<ms>: when to take them
};

StartOptions parseStartOptions(const QStringList& arguments);

// Runs the program; returns the process exit code.
int runProgram(const StartOptions& options);

}  // namespace orvel
