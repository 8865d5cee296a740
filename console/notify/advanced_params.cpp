#include "notify/advanced_params.h"

#include <QFile>
#include <mutex>

#include "core/program_dirs.h"
#include "notify/notify_lines.h"
#include "notify/notify_run.h"

namespace orvel {

void TAdvancedParams::applyReportAutoShow(bool on) {
    options_.reportAutoShow = on;
    settings_.WriteSetting(SID_REPORT_AUTOSHOW, on);
}

void TAdvancedParams::applyReportAutoSave(bool on) {
    options_.reportAutoSave = on;
    settings_.WriteSetting(SID_REPORT_AUTOSAVE, on);
}

void TAdvancedParams::applyNotConfirmEditList(bool on) {
    options_.notConfirmEditList = on;
    settings_.WriteSetting(SID_NOT_CONFIRM_EDIT_ABONLIST, on);
}

void TAdvancedParams::applyLogSystem(bool on) {
    options_.logSystem = on;
    settings_.WriteSetting(SID_LOG_SYSTEM, on);
    lib_.logEnable(QFile::encodeName(logPath_).toStdString(), on ? -1 : 0);
}

void TAdvancedParams::applyAbonentConfirmation(bool on) {
    options_.abonentConfirmation = on;
    settings_.WriteSetting(SID_ABONENT_CONFIRMATION, on);
    lib_.SetConfirmOn(on ? -1 : 0);
}

void TAdvancedParams::applyUserDropLines(bool on) {
    options_.userDropLines = on;
    settings_.WriteSetting(SID_USER_DROP_LINES, on);
    if (run_) {
        // The run reads its copy on its own thread.
        std::lock_guard lock(run_->fieldsMutex());
        run_->settings().keepDroppedLines = on;
    }
}

void TAdvancedParams::applyDetectDtmfAfterConfirmation(bool on) {
    settings_.WriteSetting(SID_DETECT_DTMF_AFTER_CONFIRMATION, on);
    lib_.AdvancedDtmfConfirmOn(on ? 1 : 0);
}

void TAdvancedParams::applyDebugDump(bool on) {
    settings_.WriteSetting(SID_DEBUG_DUMP, on);
    lib_.dumpEnable(on ? 1 : 0);
}

bool TAdvancedParams::detectDtmfAfterConfirmation() const {
    return settings_.readBool(SID_DETECT_DTMF_AFTER_CONFIRMATION, false);
}

bool TAdvancedParams::debugDump() const {
    return settings_.readBool(SID_DEBUG_DUMP, false);
}

DirectoryChangeResult TAdvancedParams::applyDirectory(DataDirectory which, const QString& path) {
    Registry fallback(registryFilePath(), ProductNames().registryKey());
    DirectoryChangeResult r =
        changeDataDirectory(dirs_, which, path, registry_ ? *registry_ : fallback);
    if (r.ok() && which == DataDirectory::Groups && onGroupDirectory)
        onGroupDirectory(dirs_.groups);
    return r;
}

std::vector<TLineGridRow> TAdvancedParams::gridRows() const {
    std::vector<TLineGridRow> rows;
    for (int i = 0; i < lines_.Count(); ++i)
        rows.push_back(lineGridRow(*lines_.Items(i)));
    return rows;
}

void TAdvancedParams::writeIfChanged(TSettingsID id, int index, int before, int after) {
    // Unchanged values are not written again: a grid of many lines would
    // otherwise rewrite the settings file thousands of times.
    if (before != after)
        settings_.WriteIndexedSetting(id, index, after);
}

void TAdvancedParams::applyGrid(const std::vector<TLineGridRow>& rows) {
    struct Field {
        int column;
        int32_t TORVELLine::*field;
        TSettingsID id;
    };
    static const Field kFields[] = {
        {kGridUse, &TORVELLine::Enabled, SID_LINE_ENABLED},
        {kGridDialMode, &TORVELLine::DialMode, SID_DIAL_MODE},
        {kGridWaitDialTone, &TORVELLine::WaitDialTone, SID_WAIT_DIAL_TONE},
        {kGridDropMode, &TORVELLine::DropMode, SID_LINE_LINE_DROP_MODE},
        {kGridPrefix1, &TORVELLine::Prefix1, SID_LINE_PREFIX1},
        {kGridPrefix1Wait, &TORVELLine::Prefix1WaitDialTone, SID_LINE_PREFIX1_WAIT_DIAL_TONE},
        {kGridPrefix2, &TORVELLine::Prefix2, SID_LINE_PREFIX2},
        {kGridPrefix2Wait, &TORVELLine::Prefix2WaitDialTone, SID_LINE_PREFIX2_WAIT_DIAL_TONE},
        {kGridPrefix3, &TORVELLine::Prefix3, SID_LINE_PREFIX3},
        {kGridPrefix3Wait, &TORVELLine::Prefix3WaitDialTone, SID_LINE_PREFIX3_WAIT_DIAL_TONE},
    };
    const bool running = runInProgress();
    for (int i = 0; i < lines_.Count() && i < int(rows.size()); ++i) {
        TORVELLine& l = *lines_.Items(i);
        const TLineGridRow& row = rows[size_t(i)];
        const TLineGridRow before = lineGridRow(l);
        {
            // During a run its thread reads these fields when it dials.
            std::unique_lock<std::mutex> lock;
            if (run_)
                lock = std::unique_lock(run_->fieldsMutex());
            for (const Field& f : kFields) {
                if (f.column != kGridUse)
                    l.*(f.field) = row[size_t(f.column)];
            }
            if (!running)
                l.Enabled = row[kGridUse];
        }
        for (const Field& f : kFields)
            writeIfChanged(f.id, i, before[size_t(f.column)], row[size_t(f.column)]);
        if (running && run_)
            run_->switchLine(i, row[kGridUse] == 1);
        else if (running)
            l.Enabled = row[kGridUse];
        lib_.setLineDropMode(uint32_t(l.Board), uint32_t(l.Channel), uint32_t(l.DropMode));
    }
}

std::vector<TSignalFrameValues> TAdvancedParams::signalFrames() const {
    std::vector<TSignalFrameValues> frames;
    for (int i = 0; i < lines_.Count(); ++i) {
        const TORVELLine& l = *lines_.Items(i);
        frames.push_back({l.TimeParams, l.LineType == 1});
    }
    return frames;
}

void TAdvancedParams::applySignalFrames(const std::vector<TSignalFrameValues>& frames) {
    static const TSettingsID kIds[kTimingWords] = {
        SID_SIGNAL_DIAL_TONE_PAUSE, SID_SIGNAL_REDIAL_PAUSE,   SID_SIGNAL_KPW_WAIT,
        SID_SIGNAL_BUSY_TIME,       SID_SIGNAL_NO_TONE_TIME,   SID_SIGNAL_CONFIRM_PAUSE,
        SID_SIGNAL_MESSAGES_COUNT,  SID_SIGNAL_DTMF_AMPLITUDE,
    };
    for (int i = 0; i < lines_.Count() && i < int(frames.size()); ++i) {
        TORVELLine& l = *lines_.Items(i);
        const TSignalFrameValues& f = frames[size_t(i)];
        const auto b = uint32_t(l.Board), c = uint32_t(l.Channel);
        if (!(f.params == l.TimeParams)) {
            {
                std::unique_lock<std::mutex> lock;
                if (run_)
                    lock = std::unique_lock(run_->fieldsMutex());
                l.TimeParams = f.params;
            }
            const auto words = timingWords(f.params);
            for (int w = 0; w < kTimingWords; ++w)
                settings_.WriteIndexedSetting(kIds[w], i, words[size_t(w)]);
            lib_.SetTimeParam(b, c, l.TimeParams);
            lib_.SetDtmfLevel(b, c, uint32_t(l.TimeParams.DTMFAmplitude));
        }
        const int type = f.quant ? 1 : 0;
        const int typeBefore = l.LineType;
        l.LineType = type;
        lib_.setLineType(b, c, uint32_t(type));
        writeIfChanged(SID_LINE_TYPE, i, typeBefore, type);
    }
}

void TAdvancedParams::applyColours(const std::array<ColourSet, 4>& sets,
                                   const PropertyList& listFont) {
    options_.colours = sets;
    for (int n = 1; n <= 4; ++n) {
        const ColourSet& s = sets[size_t(n - 1)];
        settings_.WriteIndexedSetting(SID_COLORS_BACKGROUND, n, qlonglong(s.background));
        settings_.WriteIndexedSetting(SID_COLORS_FOREGROUND, n, qlonglong(s.foreground));
        settings_.WriteIndexedSetting(SID_COLORS_FONT_STYLE, n,
                                      (s.bold ? 1 : 0) + (s.italic ? 256 : 0));
    }
    settings_.WriteObjectSettings(SID_MAIN_LISTVIEW_FONT, -1, listFont);
}

}  // namespace orvel
