// What the simulator's record of one call says about its timing: when the
// subscriber answered and hung up, when the exchange began to play busy, and
// where the engine's beep lay among the sounds the board played.
#pragma once

#include "line_record.h"

namespace orvel::tools {

struct CallTimes {
    double answered = -1;  // simulated seconds; -1: not in the record
    double hungUp = -1;    // the subscriber put the receiver down
    double busyFrom = -1;  // the exchange's busy tone after that
    double beepFrom = -1;  // the engine's beep: the third sound after the answer
    double beepTo = -1;    // (message, prompt, beep), 0.4..0.7 s long
};

CallTimes callTimes(const sim::LineRecord& record);

// A subscriber who hung up before the engine's beep had ended, on a line whose
// busy tone began only after it: the busy comes in the confirmation window
// exactly as after a listener who hangs up when the beep is over, and nothing
// on the line tells the two apart.
bool hangUpTheLineCannotTell(const CallTimes& t);

}  // namespace orvel::tools
