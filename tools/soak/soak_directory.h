#pragma once
// The soak's program directory: the demo directory (subscribers, group,
// message, prompt, scheme) spread over ten simulated boards of 18 lines, with
// as many further subscribers as asked, each given a number of the demo's
// plan in turn, so that every behaviour of the plan is met on every run.

#include <QString>

namespace orvel::soak {

struct TSoakDirectory {
    QString dir;      // made when missing
    QString dataDir;  // the repository's data/ (orvel.fis, orvelsim.ini, report.dat)
    int subscribers = 360;
    int boards = 10;
    int attempts = 2;  // of the scheme
};

// The numbers of the demo plan the soak calls, one per behaviour.
QStringList demoPlanNumbers();

// False with `error` when something could not be read or written.
bool prepareSoakDirectory(const TSoakDirectory& d, QString* error);

}  // namespace orvel::soak
