#pragma once
// Where the planner's call lengths and outcome shares come from: the
// line-state logs of earlier runs in the program directory when they hold
// enough calls, documented defaults built from the lines' timing and the
// messages' lengths otherwise.

#include <QString>

#include "notify/run_planner.h"

namespace orvel {

// What a call takes apart from the subscriber's behaviour.
struct TPlanTiming {
    double messageSeconds = 20;  // the notification message
    double promptSeconds = 5;    // the confirmation prompt
    double dialSeconds = 3;      // dial tone, the digits, prefixes
    int kpwWait = 30;            // seconds a ringing telephone is given
    int redialPause = 3;         // seconds on-hook after every call
    int busyTime = 3;            // busy reports that make a line busy
    int confirmPause = 5;        // the pause before the confirmation beep
};

// Time to dial `digits` digits: a second for the dial tone, then 0.2 s a
// tone digit or, by pulses, 0.1 s a pulse (5.5 on average) and 0.7 s
// between digits.
double dialSeconds(int digits, bool pulse);

// Defaults when earlier runs tell too little. Shares: 60 % confirm, 10 %
// answer without confirming, 15 % never answer, 10 % busy, 5 % unobtainable.
// Lengths: a person answers after about 12 s (three rings) and confirms 3 s
// after the prompt; one who does not confirm is given the confirmation pause
// and the 15 s the line engine waits for the key after the beep; an
// unanswered telephone rings for `kpwWait` after about 4 s of dialling
// progress; busy and unobtainable are recognised in
// about a second per busy report and 5 s; every call ends with the on-hook
// rest.
TPlanCallModel defaultCallModel(const TPlanTiming& timing);

// Reads every run's line-state log in `logDir` ("*.log", 92-byte records).
// Outcome shares come from the logs once they hold `minCalls` calls; the
// length of each outcome from the time between consecutive records of a
// line (the median, gaps over 10 minutes left out) once an outcome has 10
// such lengths; the share of repeated calls ending as the subscriber's
// previous one did once there are 10 repeated calls; the rest stays the
// default.
TPlanCallModel callModelFromLogs(const QString& logDir, const TPlanTiming& timing,
                                 int minCalls = 50);

// The outcome a line status code books, for the statistics; -1 for codes
// that are no call's outcome (a line lost, a line not ready).
int planOutcomeOfStatus(int status);

}  // namespace orvel
