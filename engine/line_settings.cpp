#include "line_settings.h"

#include <SimpleIni.h>

#include <ace/Log_Msg.h>

#include <strings.h>

#include <cerrno>
#include <cstdlib>
namespace orvel {
namespace {

bool number(const char* text, double lo, double hi, double& out) {
    if (text == nullptr || *text == '\0') {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(text, &end);
    if (errno != 0 || *end != '\0' || v < lo || v > hi) {
        return false;
    }
    out = v;
    return true;
}

// A switch of the [Line] section: 0 or 1; anything else is logged and the
// default kept.
void readSwitch(const CSimpleIniA& ini, const char* key, bool& on) {
    const char* text = ini.GetValue("Line", key, nullptr);
    if (text == nullptr) {
        return;
    }
    double v = 0;
    if (number(text, 0, 1, v) && (v == 0 || v == 1)) {
        on = v == 1;
    } else {
        ACE_ERROR((LM_ERROR, ACE_TEXT(" Line settings: bad %C=%C\n"), key, text));
    }
}

}  // namespace

const TonePlanEntry* findTonePlanEntry(const char* code) {
    for (const TonePlanEntry& plan : kTonePlans) {
        if (::strcasecmp(plan.code, code) == 0) {
            return &plan;
        }
    }
    return nullptr;
}

LineSettings readLineSettings(const std::string& path) {
    LineSettings s;
    if (path.empty()) {
        return s;
    }
    CSimpleIniA ini(false, false, false);
    if (ini.LoadFile(path.c_str()) < 0) {
        ACE_ERROR((LM_ERROR, ACE_TEXT(" Line settings %C cannot be read\n"), path.c_str()));
        return s;
    }
    readSwitch(ini, "ConfirmGuard", s.confirmGuard);
    readSwitch(ini, "SitDetect", s.sitDetect);
    readSwitch(ini, "MusicDetect", s.musicDetect);
    readSwitch(ini, "EarlyBusyDetect", s.earlyBusyDetect);
    if (const char* text = ini.GetValue("Line", "TonePlan", nullptr); text != nullptr) {
        if (const TonePlanEntry* found = findTonePlanEntry(text); found != nullptr) {
            s.tonePlan = found;
        } else {
            ACE_ERROR((LM_ERROR, ACE_TEXT(" Line settings: bad TonePlan=%C\n"), text));
        }
    }
    if (const char* text = ini.GetValue("Line", "Sensitivity", nullptr); text != nullptr) {
        double v = 0;
        if (number(text, 0, 30, v)) {
            s.sensitivityDb = v;
        } else {
            ACE_ERROR((LM_ERROR, ACE_TEXT(" Line settings: bad Sensitivity=%C\n"), text));
        }
    }
    return s;
}

}  // namespace orvel
