#include "call_record.h"

#include <string>

namespace orvel::tools {
namespace {

constexpr double kBeepShortest = 0.4;  // the engine's beep is 0.5 s of 500 Hz
constexpr double kBeepLongest = 0.7;

bool has(const sim::LineEvent& e, const char* part) {
    return e.text.find(part) != std::string::npos;
}

}  // namespace

CallTimes callTimes(const sim::LineRecord& record) {
    CallTimes t;
    for (const sim::LineEvent& e : record.events) {
        if (t.answered < 0) {
            if (has(e, "-> connected")) {
                t.answered = e.seconds;
            }
        } else if (t.hungUp < 0) {
            if (has(e, "(subscriber hung up)")) {
                t.hungUp = e.seconds;
                if (has(e, "-> busy")) {
                    t.busyFrom = e.seconds;
                }
            }
        } else if (t.busyFrom < 0 && has(e, "-> busy")) {
            t.busyFrom = e.seconds;
        }
    }
    if (t.answered < 0) {
        return t;
    }
    // Sounds that began before the answer (a call before this one, a tone
    // dialled) are not the engine's words to this subscriber.
    int after = 0;
    for (const sim::PlayedSound& s : record.sounds) {
        if (s.from < t.answered) {
            continue;
        }
        if (++after == 3) {
            const double length = s.to - s.from;
            if (length >= kBeepShortest && length <= kBeepLongest) {
                t.beepFrom = s.from;
                t.beepTo = s.to;
            }
            break;
        }
    }
    return t;
}

bool hangUpTheLineCannotTell(const CallTimes& t) {
    // Only busy that begins once the beep is over: any busy on the line
    // before that is something a better engine could have heard.
    return t.beepTo >= 0 && t.hungUp >= 0 && t.busyFrom >= 0 && t.hungUp < t.beepTo &&
           t.busyFrom >= t.beepTo;
}

}  // namespace orvel::tools
