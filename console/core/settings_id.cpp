#include "core/settings_id.h"

#include <array>
#include <string_view>

namespace orvel {
namespace {

constexpr std::array<std::string_view, SID_COUNT> kNames = {
    "SID_USER_PANEL_SPLIT",
    "SID_MAIN_MAX_CALLS_COUNT",
    "SID_REPORT_AUTOSHOW",
    "SID_REPORT_AUTOSAVE",
    "SID_NOT_CONFIRM_EDIT_ABONLIST",
    "SID_LOG_SYSTEM",
    "SID_ABONENT_CONFIRMATION",
    "SID_USER_DROP_LINES",
    "SID_DIAL_MODE",
    "SID_WAIT_DIAL_TONE",
    "SID_LINE_PREFIX1",
    "SID_LINE_PREFIX2",
    "SID_LINE_PREFIX3",
    "SID_LINE_PREFIX1_WAIT_DIAL_TONE",
    "SID_LINE_PREFIX2_WAIT_DIAL_TONE",
    "SID_LINE_PREFIX3_WAIT_DIAL_TONE",
    "SID_LINE_ENABLED",
    "SID_SIGNAL_DIAL_TONE_PAUSE",
    "SID_SIGNAL_REDIAL_PAUSE",
    "SID_SIGNAL_KPW_WAIT",
    "SID_SIGNAL_BUSY_TIME",
    "SID_SIGNAL_NO_TONE_TIME",
    "SID_SIGNAL_CONFIRM_PAUSE",
    "SID_SIGNAL_MESSAGES_COUNT",
    "SID_COLORS_BACKGROUND",
    "SID_COLORS_FOREGROUND",
    "SID_COLORS_FONT_STYLE",
    "SID_MAIN_LISTVIEW_FONT",
    "SID_FIELDS_NAMES",
    "SID_ARU_LEVEL_VALUE",
    "SID_IMPORT_DIR",
    "SID_REPORT_SAVEAS_INITIALDIR",
    "SID_SIGNAL_DTMF_AMPLITUDE",
    "SID_PANEL_FIELDLABELS_WIDTH",
    "SID_DETECT_DTMF_AFTER_CONFIRMATION",
    "SID_DEBUG_DUMP",
    "SID_CONFIRM_METHOD_NUMBER_COUNT",
    "SID_CONFIRM_METHOD_NUMBER",
    "SID_CONFIRM_METHOD_METHOD",
    "SID_DEFAULT_CONFIRM_METHOD",
    "SID_LINE_TYPE",
    "SID_CRYPT_MODE",
    "SID_ATTEMPT_PAUSE",
    "SID_LINE_LINE_DROP_MODE",
};
static_assert(!kNames.back().empty(), "every identifier needs its name");

}  // namespace

QString settingName(TSettingsID id) {
    if (id < 0 || id >= SID_COUNT)
        return {};
    const auto n = kNames[size_t(id)];
    return QString::fromLatin1(n.data(), qsizetype(n.size()));
}

QString indexedSettingName(TSettingsID id, int index) {
    return settingName(id) + QLatin1Char('_') + QString::number(index);
}

}  // namespace orvel
