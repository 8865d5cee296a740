#pragma once
// Bringing the line library up when the program starts: initialisation, the
// wait for its state, the lines it reports and their parameters.

#include <QString>
#include <QStringList>
#include <functional>

#include "notify/line_library.h"

namespace orvel {

class SettingsManager;
class TORVLines;

struct TLibrarySetup {
    bool initFailed = false;  // InitDll answered non-zero
    int state = 0;            // program state after the wait
    bool ready = false;       // state 2: runs are possible
    QStringList errors;       // texts for error dialogs, in order
    QStringList unreachable;  // lines the line state array cannot describe
};

// InitDll, the wait while the state is 1 (21 × 500 ms at most), the log
// switch, then the line list and every line's parameters; lines the library
// cannot report on are named in one system log entry. `sleepMs` waits (tests
// pass one that returns at once).
TLibrarySetup setUpLineLibrary(ILineLibrary& lib, const QString& programDir,
                               const QString& libraryLogPath, const SettingsManager& settings,
                               TORVLines& lines, const std::function<void(int)>& sleepMs);

// The one system log entry about the lines the program does not serve: each
// line named while the entry fits the log's 80 characters, else their number
// (the device information window lists them all).
QString unservedLinesLogText(const QStringList& lines);

// Passes one line's parameters to the library (also after the parameters
// dialog changed them).
void applyLineParameters(ILineLibrary& lib, const SettingsManager& settings, TORVLines& lines);

}  // namespace orvel
