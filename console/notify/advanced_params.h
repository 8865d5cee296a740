#pragma once
// What "OK" of the parameters dialog does to the program: each apply stores
// the value in the program, writes it to the settings file (directories to
// the registry) and passes it to the line library where the library needs
// it. The dialog's handlers call these; nothing here knows a widget.

#include <QString>
#include <array>
#include <functional>
#include <vector>

#include "core/directory_change.h"
#include "core/program_options.h"
#include "core/settings_manager.h"
#include "notify/line_params.h"

namespace orvel {

class ILineLibrary;
class TORVLines;
class TNotifyRun;
class Registry;

class TAdvancedParams {
public:
    TAdvancedParams(SettingsManager& settings, ProgramOptions& options, ProgramDirs& dirs,
                    ILineLibrary& library, TORVLines& lines)
        : settings_(settings), options_(options), dirs_(dirs), lib_(library), lines_(lines) {}

    void setLibraryLogPath(QString path) { logPath_ = std::move(path); }
    void setRegistry(Registry* registry) { registry_ = registry; }
    // The run whose lines are switched when the grid changes while a run is
    // in progress (`inProgress` says whether one is).
    void setRun(TNotifyRun* run, std::function<bool()> inProgress) {
        run_ = run;
        inProgress_ = std::move(inProgress);
    }
    // The group manager takes a new group directory.
    std::function<void(const QString&)> onGroupDirectory;

    // The general switches, as the program holds them (not as the dialog's
    // inverted check boxes show them).
    void applyReportAutoShow(bool on);
    void applyReportAutoSave(bool on);
    void applyNotConfirmEditList(bool on);
    void applyLogSystem(bool on);
    void applyAbonentConfirmation(bool on);
    void applyUserDropLines(bool on);
    void applyDetectDtmfAfterConfirmation(bool on);
    void applyDebugDump(bool on);
    bool detectDtmfAfterConfirmation() const;
    bool debugDump() const;

    DirectoryChangeResult applyDirectory(DataDirectory which, const QString& path);

    // One row per line, in line order.
    std::vector<TLineGridRow> gridRows() const;
    void applyGrid(const std::vector<TLineGridRow>& rows);

    std::vector<TSignalFrameValues> signalFrames() const;
    // Timing words go to the library only for the lines whose words changed;
    // the line type goes to every line.
    void applySignalFrames(const std::vector<TSignalFrameValues>& frames);

    // Sets 1..3 colour subscribers by state, set 4 is the list background;
    // `listFont` is the list font as an object setting.
    void applyColours(const std::array<ColourSet, 4>& sets, const PropertyList& listFont);

private:
    bool runInProgress() const { return inProgress_ && inProgress_(); }
    void writeIfChanged(TSettingsID id, int index, int before, int after);

    SettingsManager& settings_;
    ProgramOptions& options_;
    ProgramDirs& dirs_;
    ILineLibrary& lib_;
    TORVLines& lines_;
    Registry* registry_ = nullptr;
    TNotifyRun* run_ = nullptr;
    std::function<bool()> inProgress_;
    QString logPath_;
};

}  // namespace orvel
