#include "core/program_options.h"

#include "core/settings_manager.h"

namespace orvel {

void ProgramOptions::load(const SettingsManager& s) {
    userPanelSplit = s.readInt(SID_USER_PANEL_SPLIT, userPanelSplit);
    fieldLabelsWidth = s.readInt(SID_PANEL_FIELDLABELS_WIDTH, fieldLabelsWidth);
    maxCallsCount = s.readInt(SID_MAIN_MAX_CALLS_COUNT, 5);
    reportAutoShow = s.readBool(SID_REPORT_AUTOSHOW, false);
    reportAutoSave = s.readBool(SID_REPORT_AUTOSAVE, true);
    notConfirmEditList = s.readBool(SID_NOT_CONFIRM_EDIT_ABONLIST, true);
    abonentConfirmation = s.readBool(SID_ABONENT_CONFIRMATION, true);
    logSystem = s.readBool(SID_LOG_SYSTEM, false);
    userDropLines = s.readBool(SID_USER_DROP_LINES, true);
    attemptPause = uint16_t(s.readInt(SID_ATTEMPT_PAUSE, 0));
    cryptMode = s.readInt(SID_CRYPT_MODE, 0);

    constexpr std::array<uint32_t, 4> kBackground = {65535, 65280, 255, 16777215};
    constexpr std::array<uint32_t, 3> kForeground = {0, 0, 65535};
    for (int n = 1; n <= 4; ++n) {
        ColourSet& c = colours[size_t(n - 1)];
        c.background =
            uint32_t(s.ReadIndexedSetting(SID_COLORS_BACKGROUND, n, qlonglong(kBackground[n - 1]))
                         .toLongLong());
        if (n <= 3) {
            c.foreground = uint32_t(
                s.ReadIndexedSetting(SID_COLORS_FOREGROUND, n, qlonglong(kForeground[n - 1]))
                    .toLongLong());
            const int style = s.readIndexedInt(SID_COLORS_FONT_STYLE, n, 1);
            c.bold = styleIsBold(style);
            c.italic = styleIsItalic(style);
        }
    }
}

}  // namespace orvel
