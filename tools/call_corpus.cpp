#include "call_corpus.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

namespace orvel::tools {
namespace {

constexpr const char* kOutcomeNames[] = {"not notified", "notified",  "busy",
                                         "no answer",    "line drop", "unobtainable"};
static_assert(std::size(kOutcomeNames) == static_cast<size_t>(kOutcomes));

constexpr double kNetworkToneDbm0 = -5.0;

// What talkers say, by synthesiser voice: several languages, male and female.
struct Talk {
    const char* voice;
    const char* words;
};
constexpr Talk kTalks[] = {
    {"ru", "Алло? Кто это? Не слышу. Говорите громче."},
    {"ru+f3", "Алло, алло! Я вас не слышу, перезвоните."},
    {"ru+m3", "Да, слушаю. Что случилось? Повторите, пожалуйста."},
    {"en-us", "Hello? Who is this? I can't hear you, speak up please."},
    {"de+f2", "Hallo? Wer ist da? Ich verstehe Sie nicht."},
    {"fr-fr", "Allô? Qui est à l'appareil? Je n'entends rien du tout."},
    {"es+m2", "¿Diga? ¿Quién es? No le oigo bien, repita por favor."},
    {"it", "Pronto? Chi parla? Non sento niente, richiami."},
    {"uk", "Алло? Хто це? Нічого не чути."},
};

constexpr const char* kAnnouncements[] = {
    "Неправильно набран номер.",
    "Номер, который вы набрали, не существует.",
    "Абонент не обслуживается. Проверьте номер.",
};

struct Kind {
    const char* name;
    int weight;
};
// The mix of a corpus: mostly people, then the network's and machines'
// answers, in shares like those seen on real notification lists.
constexpr Kind kKinds[] = {
    {"key9", 20},           {"hangup", 12},
    {"hangup-key-only", 3}, {"listener", 8},
    {"talker", 8},          {"talker-key9", 4},
    {"early-hangup", 4},    {"busy", 10},
    {"noanswer", 8},        {"music-noanswer", 2},
    {"announced-key9", 2},  {"silent", 4},
    {"machine", 6},         {"fax", 3},
    {"unobtainable", 6},    {"aon-key9", 2},
};

class Draw {
public:
    explicit Draw(uint32_t seed) : rng_(seed) {}
    double real(double lo, double hi) {
        return std::uniform_real_distribution<double>(lo, hi)(rng_);
    }
    int integer(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
    bool chance(double p) { return real(0, 1) < p; }
    template <typename T, size_t N>
    const T& pick(const T (&items)[N]) {
        return items[static_cast<size_t>(integer(0, static_cast<int>(N) - 1))];
    }
    const char* kind() {
        int total = 0;
        for (const Kind& k : kKinds) {
            total += k.weight;
        }
        int r = integer(0, total - 1);
        for (const Kind& k : kKinds) {
            if (r < k.weight) {
                return k.name;
            }
            r -= k.weight;
        }
        return kKinds[0].name;
    }

private:
    std::mt19937 rng_;
};

void keyPress(Draw& d, sim::Subscriber& s) {
    s.key = '9';
    s.keyMs = d.integer(40, 300);
    s.keyDbm0 = std::round(d.real(-10, -4));  // the low tone
    s.keyTwistDb = std::round(d.real(-6, 6));
    // A telephone's louder tone stays below -3 dBm0: the two tones together
    // would clip the 16-bit signal and the key would be heard mangled.
    s.keyDbm0 = std::min(s.keyDbm0, -3.0 - std::max(s.keyTwistDb, 0.0));
}

CorpusCall drawCall(Draw& d, int index) {
    CorpusCall c;
    char number[16];
    std::snprintf(number, sizeof number, "5%05d", index);
    c.number = number;
    c.kind = d.kind();
    sim::Subscriber& s = c.subscriber;
    s.pattern = c.number;
    s.behaviour = sim::Behaviour::Answer;
    s.rings = d.integer(1, 3);
    s.hangUpAt.seconds = 70;
    const std::string k = c.kind;
    c.mode = d.chance(0.5) ? 3 : 1;
    c.expected = Outcome::NotNotified;
    if (k == "key9" || k == "talker-key9" || k == "announced-key9" || k == "aon-key9") {
        keyPress(d, s);
        s.keyAt.afterSound = d.chance(0.5) ? 2 : 3;
        c.expected = Outcome::Notified;
        if (k == "talker-key9") {
            const Talk& t = d.pick(kTalks);
            s.talks = true;
            s.voice = t.voice;
            s.speech = t.words;
        } else if (k == "announced-key9") {
            s.ringBack = sim::RingBackKind::Announcement;
        } else if (k == "aon-key9") {
            s.aonRequests = 2;
        }
    } else if (k == "hangup" || k == "hangup-key-only") {
        s.hangUpAt = {};
        s.hangUpAt.afterSound = 3;
        s.after = d.chance(0.5) ? sim::AfterHangUp::Busy : sim::AfterHangUp::Silence;
        s.afterSeconds = s.after == sim::AfterHangUp::Silence ? std::round(d.real(1, 6)) : 0;
        c.mode = k == "hangup" ? (d.chance(0.5) ? 2 : 3) : 1;
        c.expected = k == "hangup" ? Outcome::Notified : Outcome::NotNotified;
    } else if (k == "listener") {
        if (d.chance(0.3)) {
            s.hangUpAt = {};  // never hangs up
        }
    } else if (k == "talker") {
        const Talk& t = d.pick(kTalks);
        s.talks = true;
        s.voice = t.voice;
        s.speech = t.words;
    } else if (k == "early-hangup") {
        s.hangUpAt = {};
        s.hangUpAt.afterSound = 1;
        const int after = d.integer(0, 3);
        s.after = static_cast<sim::AfterHangUp>(after);
        s.afterSeconds = after == 0 ? 0 : std::round(d.real(2, 8));
    } else if (k == "busy") {
        s.behaviour = sim::Behaviour::Busy;
        c.expected = Outcome::Busy;
    } else if (k == "noanswer" || k == "music-noanswer") {
        s.behaviour = sim::Behaviour::NoAnswer;
        s.ringBack = k == "noanswer" ? sim::RingBackKind::Tone : sim::RingBackKind::Music;
        c.expected = Outcome::NoAnswer;
    } else if (k == "silent") {
        s.behaviour = sim::Behaviour::Silent;
        s.hangUpAt.seconds = 60;
        c.expected = Outcome::NoAnswer;
    } else if (k == "machine") {
        s.behaviour = sim::Behaviour::Machine;
        s.recordSeconds = std::round(d.real(10, 60));
        s.after = d.chance(0.5) ? sim::AfterHangUp::Busy : sim::AfterHangUp::Silence;
        s.afterSeconds = s.after == sim::AfterHangUp::Silence ? std::round(d.real(1, 6)) : 0;
        s.hangUpAt = {};
    } else if (k == "fax") {
        s.behaviour = sim::Behaviour::Fax;
        s.faxCalling = d.chance(0.3);
        s.hangUpAt = {};
    } else if (k == "unobtainable") {
        s.behaviour = sim::Behaviour::Unobtainable;
        s.announcement = d.pick(kAnnouncements);
        s.announcements = d.integer(1, 3);
        c.expected = Outcome::Unobtainable;
    }
    return c;
}

sim::LineConfig drawLine(Draw& d, const CorpusOptions& o) {
    sim::LineConfig l;
    if (!o.plans.empty()) {
        l.tonePlan =
            o.plans[static_cast<size_t>(d.integer(0, static_cast<int>(o.plans.size()) - 1))];
    }
    l.lossDb = std::round(d.real(o.minLossDb, o.maxLossDb));
    l.bandLimit = true;
    l.toneJitter = 0.05;
    l.randomStart = true;
    if (o.echo) {
        l.echoModel = d.integer(2, 9);
        l.echoDb = -std::round(d.real(10, 24));
    }
    if (d.chance(0.2)) {
        l.humDbm0 = std::round(d.real(-55, -40));
    }
    if (d.chance(0.2)) {
        l.clicksPerMinute = std::round(d.real(2, 12));
        l.clickDbm0 = std::round(d.real(-30, -15));
    }
    if (d.chance(0.15)) {
        l.crosstalkDbm0 = std::round(d.real(-55, -40));
    }
    return l;
}

}  // namespace

const char* outcomeName(Outcome o) {
    const auto i = static_cast<size_t>(o);
    return i < std::size(kOutcomeNames) ? kOutcomeNames[i] : "?";
}

Outcome outcomeOfResult(int result) {
    switch (result) {
        case 1:
            return Outcome::Notified;
        case 2:
            return Outcome::Busy;
        case 3:
            return Outcome::NoAnswer;
        case 4:
            return Outcome::LineDrop;
        case 5:
            return Outcome::Unobtainable;
        default:
            return Outcome::NotNotified;
    }
}

std::vector<std::string> defaultFamilyPlans() {
    return {"ru", "by", "ua", "kz", "de", "at", "ch", "nl", "be", "fr", "it", "es",
            "pl", "cz", "se", "no", "dk", "fi", "br", "cn", "tr", "il", "jp"};
}

Corpus makeCorpus(const CorpusOptions& options) {
    Corpus corpus;
    // Lines and calls draw from separate streams, so that the calls of a
    // seed stay the same whatever the number of lines.
    Draw lines(options.seed * 2 + 1);
    Draw calls(options.seed * 2 + 2);
    for (int i = 0; i < options.boards * options.linesPerBoard; ++i) {
        corpus.lines.push_back(drawLine(lines, options));
    }
    for (int i = 0; i < options.calls; ++i) {
        corpus.calls.push_back(drawCall(calls, i));
    }
    return corpus;
}

sim::SimConfig simConfigFor(const Corpus& corpus, const CorpusOptions& options) {
    sim::SimConfig c;
    c.adcRate = 250;
    c.seed = options.seed;
    c.toneDbm0 = kNetworkToneDbm0;
    c.noiseDbm0 = -65;
    c.recordSeconds = 0;
    for (int b = 0; b < options.boards && b < sim::kMaxBoards; ++b) {
        sim::BoardConfig& board = c.boards[b];
        board.present = true;
        for (int u = 0; u < sim::kUnitsPerBoard; ++u) {
            const int left = options.linesPerBoard - u * sim::kLinesPerUnit;
            board.units[u].channels = std::clamp(left, 0, sim::kLinesPerUnit);
            board.units[u].serial = b * 10 + u;
        }
        for (int ch = 0; ch < options.linesPerBoard && ch < sim::kLinesPerBoard; ++ch) {
            board.lines[ch] = corpus.lines[static_cast<size_t>(b * options.linesPerBoard + ch)];
        }
    }
    for (const CorpusCall& call : corpus.calls) {
        c.plan.push_back(call.subscriber);
    }
    c.fallback.behaviour = sim::Behaviour::Unobtainable;
    return c;
}

}  // namespace orvel::tools
