#include "tone_plans.h"

#include <strings.h>
#include <cerrno>
#include <cstdlib>

namespace orvel::sim {
namespace {

struct PlanRow {
    const char* code;
    const char* country;
    const char* dial;
    const char* ringBack;
    const char* busy;
    const char* congestion;
};

// From the national tables of ITU-T E.180's supplement as the exchanges of
// each country are commonly found to play them.
constexpr PlanRow kPlans[] = {
    {"ru", "Россия", "425:c", "425:1.0,4.0", "425:0.35,0.35", "425:0.175,0.175"},
    {"by", "Беларусь", "425:c", "425:1.0,4.0", "425:0.35,0.35", "425:0.175,0.175"},
    {"ua", "Украина", "425:c", "425:1.0,4.0", "425:0.35,0.35", "425:0.175,0.175"},
    {"kz", "Казахстан", "425:c", "425:1.0,4.0", "425:0.35,0.35", "425:0.175,0.175"},
    {"de", "Германия", "425:c", "425:1.0,4.0", "425:0.48,0.48", "425:0.24,0.24"},
    {"at", "Австрия", "420:c", "420:1.0,5.0", "420:0.4,0.4", "420:0.2,0.2"},
    {"ch", "Швейцария", "425:c", "425:1.0,4.0", "425:0.5,0.5", "425:0.2,0.2"},
    {"nl", "Нидерланды", "425:c", "425:1.0,4.0", "425:0.5,0.5", "425:0.25,0.25"},
    {"be", "Бельгия", "425:c", "425:1.0,3.0", "425:0.5,0.5", "425:0.167,0.167"},
    {"fr", "Франция", "440:c", "440:1.5,3.5", "440:0.5,0.5", "440:0.25,0.25"},
    {"it", "Италия", "425:0.2,0.2,0.6,1.0", "425:1.0,4.0", "425:0.5,0.5", "425:0.2,0.2"},
    {"es", "Испания", "425:c", "425:1.5,3.0", "425:0.2,0.2", "425:0.2,0.2,0.2,0.2,0.2,0.6"},
    {"pl", "Польша", "425:c", "425:1.0,4.0", "425:0.5,0.5", "425:0.5,0.5"},
    {"cz", "Чехия", "425:0.33,0.33,0.66,0.66", "425:1.0,4.0", "425:0.33,0.33", "425:0.165,0.165"},
    {"se", "Швеция", "425:c", "425:1.0,5.0", "425:0.25,0.25", "425:0.25,0.75"},
    {"no", "Норвегия", "425:c", "425:1.0,4.0", "425:0.5,0.5", "425:0.2,0.2"},
    {"dk", "Дания", "425:c", "425:1.0,4.0", "425:0.25,0.25", "425:0.25,0.25"},
    {"fi", "Финляндия", "425:c", "425:1.0,4.0", "425:0.3,0.3", "425:0.2,0.2"},
    {"br", "Бразилия", "425:c", "425:1.0,4.0", "425:0.25,0.25", "425:0.25,0.25,0.75,0.25"},
    {"cn", "Китай", "450:c", "450:1.0,4.0", "450:0.35,0.35", "450:0.7,0.7"},
    {"tr", "Турция", "450:c", "450:2.0,4.0", "450:0.5,0.5", "450:0.2,0.2,0.2,0.2,0.2,0.6"},
    {"il", "Израиль", "414:c", "414:1.0,3.0", "414:0.5,0.5", "414:0.25,0.25"},
    {"jp", "Япония", "400:c", "400:1.0,2.0", "400:0.5,0.5", "400:0.5,0.5"},
    {"in", "Индия", "400+425:c", "400+425:0.4,0.2,0.4,2.0", "400:0.75,0.75", "400:0.25,0.25"},
    {"au", "Австралия", "400+425:c", "400+450:0.4,0.2,0.4,2.0", "425:0.375,0.375",
     "425:0.375,0.375"},
    {"nz", "Новая Зеландия", "400:c", "400+450:0.4,0.2,0.4,2.0", "400:0.5,0.5", "400:0.25,0.25"},
    {"gb", "Великобритания", "350+440:c", "400+450:0.4,0.2,0.4,2.0", "400:0.375,0.375",
     "400:0.4,0.35,0.225,0.525"},
    {"us", "США", "350+440:c", "440+480:2.0,4.0", "480+620:0.5,0.5", "480+620:0.25,0.25"},
    {"ca", "Канада", "350+440:c", "440+480:2.0,4.0", "480+620:0.5,0.5", "480+620:0.3,0.2"},
};

bool toDouble(const std::string& text, double& out) {
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    out = std::strtod(text.c_str(), &end);
    return errno == 0 && end != text.c_str() && *end == '\0';
}

std::vector<TonePlan> buildPlans() {
    std::vector<TonePlan> plans;
    for (const PlanRow& row : kPlans) {
        TonePlan p;
        p.code = row.code;
        p.country = row.country;
        std::string error;
        // The table is checked by the tests; a row that does not parse would
        // leave a silent cadence, never a crash.
        parseCadence(row.dial, "dial tone", p.dialTone, error);
        parseCadence(row.ringBack, "ring-back", p.ringBack, error);
        parseCadence(row.busy, "busy", p.busy, error);
        parseCadence(row.congestion, "congestion", p.congestion, error);
        plans.push_back(std::move(p));
    }
    return plans;
}

}  // namespace

bool parseCadence(const std::string& text, const char* name, Cadence& out, std::string& error) {
    const auto colon = text.find(':');
    if (colon == std::string::npos) {
        error = "cadence '" + text + "': no ':'";
        return false;
    }
    const std::string freqs = text.substr(0, colon);
    const std::string times = text.substr(colon + 1);
    double f[2] = {0, 0};
    const auto plus = freqs.find('+');
    const bool okF = plus == std::string::npos ? toDouble(freqs, f[0])
                                               : toDouble(freqs.substr(0, plus), f[0]) &&
                                                     toDouble(freqs.substr(plus + 1), f[1]);
    if (!okF || f[0] < 20 || f[0] > 4000 ||
        (plus != std::string::npos && (f[1] < 20 || f[1] > 4000))) {
        error = "cadence '" + text + "': bad frequency";
        return false;
    }
    Cadence c{name, {}, true};
    if (times == "c") {
        c.segments.push_back({static_cast<float>(f[0]), static_cast<float>(f[1]), -1});
        c.repeat = false;
    } else {
        size_t start = 0;
        bool on = true;
        while (start <= times.size()) {
            const auto comma = times.find(',', start);
            const std::string item =
                times.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
            double s = 0;
            if (!toDouble(item, s) || s < 0.02 || s > 20) {
                error = "cadence '" + text + "': bad time '" + item + "'";
                return false;
            }
            const int ms = static_cast<int>(s * 1000 + 0.5);
            c.segments.push_back(
                on ? ToneSegment{static_cast<float>(f[0]), static_cast<float>(f[1]), ms}
                   : ToneSegment{0, 0, ms});
            on = !on;
            if (comma == std::string::npos) {
                break;
            }
            start = comma + 1;
        }
        if (c.segments.size() % 2 != 0) {
            error = "cadence '" + text + "': times must pair on with off";
            return false;
        }
    }
    out = std::move(c);
    return true;
}

const std::vector<TonePlan>& tonePlans() {
    static const std::vector<TonePlan> plans = buildPlans();
    return plans;
}

const TonePlan* findTonePlan(const std::string& code) {
    for (const TonePlan& p : tonePlans()) {
        if (strcasecmp(p.code.c_str(), code.c_str()) == 0) {
            return &p;
        }
    }
    return nullptr;
}

const TonePlan& defaultTonePlan() {
    return tonePlans().front();
}

}  // namespace orvel::sim
