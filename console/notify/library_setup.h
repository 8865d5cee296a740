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
// switch, then the line list and every line's parameters. `sleepMs` waits
// (tests pass one that returns at once).
TLibrarySetup setUpLineLibrary(ILineLibrary& lib, const QString& programDir,
                               const QString& libraryLogPath, const SettingsManager& settings,
                               TORVLines& lines, const std::function<void(int)>& sleepMs);

// Passes one line's parameters to the library (also after the parameters
// dialog changed them).
void applyLineParameters(ILineLibrary& lib, const SettingsManager& settings, TORVLines& lines);

}  // namespace orvel
