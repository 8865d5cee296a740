#include "sim_config.h"

#include "tone_plans.h"

#include <SimpleIni.h>
#include <iconv.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <list>
#include <sstream>

namespace orvel::sim {
namespace {

bool validUtf8(const std::string& s) {
    size_t i = 0;
    while (i < s.size()) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        size_t extra = c < 0x80         ? 0
                       : (c >> 5) == 6  ? 1
                       : (c >> 4) == 14 ? 2
                       : (c >> 3) == 30 ? 3
                                        : 9;
        if (extra == 9 || (extra > 0 && i + extra >= s.size())) {
            return false;
        }
        for (size_t k = 1; k <= extra; ++k) {
            if ((static_cast<unsigned char>(s[i + k]) >> 6) != 2) {
                return false;
            }
        }
        i += extra + 1;
    }
    return true;
}

// Texts may be written in the 8-bit Cyrillic code page the program's own
// files use; inside the simulator they are UTF-8.
std::string toUtf8(const std::string& s) {
    if (validUtf8(s)) {
        return s;
    }
    iconv_t cd = iconv_open("UTF-8", "CP1251");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return s;
    }
    std::string out(s.size() * 3 + 4, '\0');
    char* in = const_cast<char*>(s.data());
    size_t inLeft = s.size();
    char* dst = out.data();
    size_t outLeft = out.size();
    size_t rc = iconv(cd, &in, &inLeft, &dst, &outLeft);
    iconv_close(cd);
    if (rc == static_cast<size_t>(-1)) {
        return s;
    }
    out.resize(out.size() - outLeft);
    return out;
}

bool toNumber(const std::string& text, double& out) {
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || end == text.c_str() || *end != '\0') {
        return false;
    }
    out = v;
    return true;
}

bool toInt(const std::string& text, long& out) {
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(text.c_str(), &end, 0);
    if (errno != 0 || end == text.c_str() || *end != '\0') {
        return false;
    }
    out = v;
    return true;
}

std::vector<std::string> splitList(const std::string& text, char sep) {
    std::vector<std::string> parts;
    std::string item;
    std::istringstream in(text);
    while (std::getline(in, item, sep)) {
        auto b = item.find_first_not_of(" \t");
        auto e = item.find_last_not_of(" \t");
        parts.push_back(b == std::string::npos ? std::string() : item.substr(b, e - b + 1));
    }
    return parts;
}

// Reads typed values from one section, collecting the first error.
class Reader {
public:
    Reader(const CSimpleIniA& ini, const std::string& section, std::string& error)
        : ini_(ini), section_(section), error_(error) {}

    void real(const char* key, double& out, double lo, double hi) {
        const char* v = ini_.GetValue(section_.c_str(), key, nullptr);
        if (v == nullptr || *v == '\0') {
            return;
        }
        double d = 0;
        if (!toNumber(v, d) || d < lo || d > hi) {
            fail(key, v);
            return;
        }
        out = d;
    }
    template <typename T>
    void integer(const char* key, T& out, long lo, long hi) {
        const char* v = ini_.GetValue(section_.c_str(), key, nullptr);
        if (v == nullptr || *v == '\0') {
            return;
        }
        long n = 0;
        if (!toInt(v, n) || n < lo || n > hi) {
            fail(key, v);
            return;
        }
        out = static_cast<T>(n);
    }
    void flag(const char* key, bool& out) {
        int n = out ? 1 : 0;
        integer(key, n, 0, 1);
        out = n != 0;
    }
    // A comma-separated list of one integer per unit.
    template <typename F>
    void perUnit(const char* key, long lo, long hi, F apply) {
        const char* v = ini_.GetValue(section_.c_str(), key, nullptr);
        if (v == nullptr || *v == '\0') {
            return;
        }
        auto parts = splitList(v, ',');
        if (parts.size() > static_cast<size_t>(kUnitsPerBoard)) {
            fail(key, v);
            return;
        }
        for (size_t u = 0; u < parts.size(); ++u) {
            long n = 0;
            if (!toInt(parts[u], n) || n < lo || n > hi) {
                fail(key, v);
                return;
            }
            apply(static_cast<int>(u), static_cast<int>(n));
        }
    }
    std::string text(const char* key) {
        const char* v = ini_.GetValue(section_.c_str(), key, nullptr);
        return v != nullptr ? v : "";
    }
    void fail(const char* key, const char* value) {
        if (error_.empty()) {
            error_ = "[" + section_ + "] " + key + "=" + value + ": bad value";
        }
    }

private:
    const CSimpleIniA& ini_;
    std::string section_;
    std::string& error_;
};

void readLine(Reader& r, LineConfig& line) {
    r.real("IdleVolts", line.idleVolts, 0, 127);
    r.real("OffHookVolts", line.offHookVolts, 0, 127);
    r.real("ParallelVolts", line.parallelVolts, 0, 127);
    r.flag("DialTone", line.dialTone);
    r.real("CutAt", line.cutAt, -1, 1e7);
    r.real("CutFor", line.cutFor, -1, 1e7);
    r.real("ParallelAt", line.parallelAt, -1, 1e7);
    r.real("ParallelFor", line.parallelFor, 0, 1e7);
    r.real("EchoDb", line.echoDb, -100, 0);
    r.integer("EchoModel", line.echoModel, 0, 9);
    if (line.echoModel == 1) {
        r.fail("EchoModel", "1");
    }
    r.real("LossDb", line.lossDb, -5, 60);
    r.flag("BandLimit", line.bandLimit);
    r.real("ToneJitter", line.toneJitter, 0, 0.3);
    r.flag("RandomStart", line.randomStart);
    r.real("HumDbm0", line.humDbm0, -100, -10);
    r.real("ClicksPerMinute", line.clicksPerMinute, 0, 600);
    r.real("ClickDbm0", line.clickDbm0, -60, 0);
    r.real("CrosstalkDbm0", line.crosstalkDbm0, -100, -10);
    std::string plan = r.text("TonePlan");
    if (!plan.empty()) {
        if (findTonePlan(plan) == nullptr) {
            r.fail("TonePlan", plan.c_str());
        } else {
            line.tonePlan = plan;
        }
    }
    std::string pol = r.text("Polarity");
    if (pol == "minus") {
        line.polarityPlus = false;
    } else if (pol == "plus") {
        line.polarityPlus = true;
    } else if (!pol.empty()) {
        r.fail("Polarity", pol.c_str());
    }
}

bool parseMoment(const std::string& text, Moment& out) {
    if (text == "never") {
        out = Moment{};
        return true;
    }
    if (text.rfind("end", 0) == 0) {
        long n = 0;
        if (!toInt(text.substr(3), n) || n < 1 || n > 100) {
            return false;
        }
        out.afterSound = static_cast<int>(n);
        out.seconds = -1.0;
        return true;
    }
    double s = 0;
    if (!toNumber(text, s) || s < 0 || s > 3600) {
        return false;
    }
    out.seconds = s;
    out.afterSound = 0;
    return true;
}

// Splits "a b=c say="two words"" into tokens, honouring double quotes.
std::vector<std::string> tokens(const std::string& text) {
    std::vector<std::string> out;
    std::string cur;
    bool quoted = false;
    bool any = false;
    for (char c : text) {
        if (c == '"') {
            quoted = !quoted;
            any = true;
        } else if (!quoted && (c == ' ' || c == '\t')) {
            if (any) {
                out.push_back(cur);
            }
            cur.clear();
            any = false;
        } else {
            cur += c;
            any = true;
        }
    }
    if (any) {
        out.push_back(cur);
    }
    return out;
}

}  // namespace

int BoardConfig::channelCount() const {
    int n = 0;
    for (const auto& u : units) {
        n += u.channels;
    }
    return n;
}

bool parseSubscriber(const std::string& text, Subscriber& out, std::string& error) {
    auto parts = tokens(text);
    if (parts.empty()) {
        error = "empty plan entry";
        return false;
    }
    static const std::map<std::string, Behaviour> kinds = {
        {"answer", Behaviour::Answer},
        {"silent", Behaviour::Silent},
        {"noanswer", Behaviour::NoAnswer},
        {"busy", Behaviour::Busy},
        {"unobtainable", Behaviour::Unobtainable},
        {"dialtone", Behaviour::DialTone},
        {"drop", Behaviour::Drop},
        {"machine", Behaviour::Machine},
        {"fax", Behaviour::Fax},
    };
    static const std::map<std::string, AfterHangUp> afters = {
        {"busy", AfterHangUp::Busy},
        {"silence", AfterHangUp::Silence},
        {"howler", AfterHangUp::Howler},
        {"nothing", AfterHangUp::Nothing},
    };
    static const std::map<std::string, RingBackKind> ringBacks = {
        {"tone", RingBackKind::Tone},
        {"music", RingBackKind::Music},
        {"announcement", RingBackKind::Announcement},
    };
    auto kind = kinds.find(parts[0]);
    if (kind == kinds.end()) {
        error = "unknown behaviour '" + parts[0] + "'";
        return false;
    }
    Subscriber s;
    s.pattern = out.pattern;
    s.behaviour = kind->second;
    for (size_t i = 1; i < parts.size(); ++i) {
        auto eq = parts[i].find('=');
        std::string key = parts[i].substr(0, eq);
        std::string value = eq == std::string::npos ? std::string() : parts[i].substr(eq + 1);
        long n = 0;
        double d = 0;
        bool ok = true;
        if (key == "rings") {
            ok = toInt(value, n) && n >= 0 && n <= 100;
            s.rings = static_cast<int>(n);
        } else if (key == "say") {
            s.speech = toUtf8(value);
        } else if (key == "voice") {
            // Passed to the synthesiser's command line: a plain voice name only.
            ok = !value.empty() && value[0] != '-' &&
                 value.find_first_not_of(
                     "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                     "0123456789-_+") == std::string::npos;
            s.voice = value;
        } else if (key == "key") {
            ok = value.size() == 1 && std::strchr("0123456789*#ABCD", value[0]) != nullptr;
            s.key = ok ? value[0] : 0;
        } else if (key == "keyat") {
            ok = parseMoment(value, s.keyAt);
        } else if (key == "hangup") {
            ok = parseMoment(value, s.hangUpAt);
        } else if (key == "aon") {
            ok = toInt(value, n) && n >= 0 && n <= 10;
            s.aonRequests = static_cast<int>(n);
        } else if (key == "keyms") {
            ok = toInt(value, n) && n >= 10 && n <= 2000;
            s.keyMs = static_cast<int>(n);
        } else if (key == "keydb") {
            ok = toNumber(value, d) && d >= -50 && d <= 0;
            s.keyDbm0 = d;
        } else if (key == "twist") {
            ok = toNumber(value, d) && d >= -12 && d <= 12;
            s.keyTwistDb = d;
        } else if (key == "talks") {
            ok = value == "0" || value == "1";
            s.talks = value == "1";
        } else if (key == "after") {
            // "busy", "nothing", or "silence:5", "howler:10" (seconds of silence first)
            const auto colon = value.find(':');
            auto it = afters.find(value.substr(0, colon));
            ok = it != afters.end();
            if (ok) {
                s.after = it->second;
                s.afterSeconds = 0;
                if (colon != std::string::npos) {
                    ok = toNumber(value.substr(colon + 1), d) && d >= 0 && d <= 600;
                    s.afterSeconds = d;
                }
            }
        } else if (key == "ringback") {
            auto it = ringBacks.find(value);
            ok = it != ringBacks.end();
            s.ringBack = ok ? it->second : RingBackKind::Tone;
        } else if (key == "announce") {
            s.announcement = toUtf8(value);
        } else if (key == "repeat") {
            ok = toInt(value, n) && n >= 0 && n <= 20;
            s.announcements = static_cast<int>(n);
        } else if (key == "record") {
            ok = toNumber(value, d) && d >= 0 && d <= 600;
            s.recordSeconds = d;
        } else if (key == "calling") {
            ok = value == "0" || value == "1";
            s.faxCalling = value == "1";
        } else {
            ok = false;
        }
        if (!ok) {
            error = "bad option '" + parts[i] + "'";
            return false;
        }
    }
    if (s.key != 0 && !s.keyAt.set()) {
        s.keyAt.afterSound = 1;
    }
    out = s;
    return true;
}

std::string configPath(const std::string& programDir) {
    if (const char* env = std::getenv(kConfigEnvVar); env != nullptr && *env != '\0') {
        return env;
    }
    std::string dir = programDir;
    if (!dir.empty() && dir.back() != '/') {
        dir += '/';
    }
    return dir + kConfigFileName;
}

bool loadConfig(const std::string& path, SimConfig& config, std::string& error) {
    CSimpleIniA ini(false, false, false);
    SI_Error rc = ini.LoadFile(path.c_str());
    if (rc < 0) {
        error = path + ": cannot read";
        return false;
    }
    SimConfig c;
    error.clear();
    {
        Reader r(ini, "Simulator", error);
        r.real("Speed", c.speed, 0.01, 1000);
        r.integer("TickMs", c.tickMs, 1, 100);
        r.integer("AdcRate", c.adcRate, 1, kMaxAdcRate);
        r.real("NoiseDbm0", c.noiseDbm0, -120, -20);
        r.real("ToneDbm0", c.toneDbm0, -40, 0);
        r.integer("Seed", c.seed, 0, 0x7fffffff);
        r.real("RecordSeconds", c.recordSeconds, 0, 600);
        r.real("DigitTimeout", c.digitTimeout, 0.5, 60);
        c.logFile = r.text("Log");
    }
    LineConfig lineDefaults;
    {
        Reader r(ini, "Lines", error);
        readLine(r, lineDefaults);
    }
    for (int b = 0; b < kMaxBoards; ++b) {
        std::string section = "Board" + std::to_string(b);
        if (ini.GetSectionSize(section.c_str()) < 0) {
            continue;
        }
        BoardConfig& board = c.boards[b];
        board.present = true;
        board.lines.fill(lineDefaults);
        Reader r(ini, section, error);
        r.flag("Initialised", board.initialised);
        r.integer("Version", board.version, 0, 0xFFF);
        r.perUnit("Units", 0, kLinesPerUnit, [&](int u, int n) { board.units[u].channels = n; });
        r.perUnit("Options", 0, 1, [&](int u, int n) { board.units[u].option = n != 0; });
        r.perUnit("Serials", 0, 255, [&](int u, int n) { board.units[u].serial = n; });
        r.perUnit("UnitVersions", 0, 255, [&](int u, int n) { board.units[u].version = n; });
        r.perUnit("Supply5V", 0, 255, [&](int u, int n) { board.units[u].supply5 = n; });
        r.perUnit("Supply12V", 0, 255, [&](int u, int n) { board.units[u].supply12 = n; });
        r.perUnit("CodecFailures", 0, 100, [&](int u, int n) { board.units[u].codecFailures = n; });
        r.perUnit("Hung", 0, 1, [&](int u, int n) { board.units[u].hung = n != 0; });
        r.real("FailAt", board.failAt, -1, 1e7);
        const std::string failure = r.text("FailMode");
        if (failure == "vanish") {
            board.failure = CardFailure::Vanish;
        } else if (!failure.empty() && failure != "silent") {
            r.fail("FailMode", failure.c_str());
        }
        for (int u = 0; u < kUnitsPerBoard; ++u) {
            board.units[u].stuck.fill(-1);
            // "StuckUnit1=0:77": unit 1 answers 77 for its fail level.
            std::string key = "StuckUnit" + std::to_string(u);
            std::string v = r.text(key.c_str());
            if (v.empty()) {
                continue;
            }
            auto parts = splitList(v, ':');
            long p = 0;
            long value = 0;
            if (parts.size() != 2 || !toInt(parts[0], p) || p < 0 || p > 9 ||
                !toInt(parts[1], value) || value < 0 || value > 255) {
                r.fail(key.c_str(), v.c_str());
                continue;
            }
            board.units[u].stuck[p] = static_cast<int>(value);
        }
        for (int ch = 0; ch < kLinesPerBoard; ++ch) {
            std::string lineSection = section + ".Line" + std::to_string(ch);
            if (ini.GetSectionSize(lineSection.c_str()) >= 0) {
                Reader lr(ini, lineSection, error);
                readLine(lr, board.lines[ch]);
            }
        }
    }
    // The number plan, in the file's order.
    CSimpleIniA::TNamesDepend keys;
    ini.GetAllKeys("Plan", keys);
    keys.sort(CSimpleIniA::Entry::LoadOrder());
    c.fallback.behaviour = Behaviour::Unobtainable;
    for (const auto& key : keys) {
        std::string name = key.pItem;
        std::string value = ini.GetValue("Plan", key.pItem, "");
        Subscriber s;
        std::string why;
        if (name == "Default") {
            s.pattern = "+";
            if (!parseSubscriber(value, s, why)) {
                error = error.empty() ? "[Plan] Default: " + why : error;
                continue;
            }
            c.fallback = s;
            continue;
        }
        bool goodPattern = !name.empty();
        for (size_t i = 0; i < name.size(); ++i) {
            char ch = name[i];
            bool last = i + 1 == name.size();
            if (!(std::isdigit(static_cast<unsigned char>(ch)) || ch == 'X' || ch == 'x' ||
                  ch == '*' || ch == '#' || (ch == '+' && last && i > 0))) {
                goodPattern = false;
            }
        }
        if (!goodPattern) {
            error = error.empty() ? "[Plan] " + name + ": bad number pattern" : error;
            continue;
        }
        s.pattern = name;
        if (!parseSubscriber(value, s, why)) {
            error = error.empty() ? "[Plan] " + name + ": " + why : error;
            continue;
        }
        c.plan.push_back(s);
    }
    if (!error.empty()) {
        return false;
    }
    config = c;
    return true;
}

}  // namespace orvel::sim
