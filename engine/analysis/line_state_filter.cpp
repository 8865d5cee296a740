#include "analysis/line_state_filter.h"

namespace orvel {

namespace {
constexpr int8_t _ = -1;  // keep the current state
}

// Rows: current state (LS_ code); columns: raw class 0 silence, 1 voice,
// 2 dial tone, 3 tone, 4 busy, 5 ring-back, 6 (not a raw class), 7 AON.
// Only rows 0 and 3 differ between the modes.
// In the busy state a voice class passes: a sound that held speech is no
// busy burst. Kept as busy, one word with a busy's cadence in a talker's
// speech made every later word a busy report, and a few of them in a row
// read as the subscriber hanging up after the beep.
// Busy always passes from the AON state: the engine's own 500 Hz beep, heard
// back through the hybrid, looks like a caller-number request, and a line
// stuck there would never report the busy tone of a subscriber who confirms
// by hanging up after the beep.
const CLineStateFilter::Table CLineStateFilter::kAwaitDialToneTable = {{
    //  0  1  2  3  4  5  6  7
    {_, _, 2, 3, _, _, _, _},  // 0 silence: only a dial tone or a tone passes
    {0, 0, 2, _, 4, 5, _, 7},  // 1 voice: voice again is reported as silence
    {0, _, _, _, _, _, _, _},  // 2 dial tone
    {0, _, 2, 3, 4, _, _, _},  // 3 tone
    {0, 1, _, 4, _, _, _, _},  // 4 busy: a tone after busy keeps busy, voice passes
    {0, 1, _, 3, 3, 6, _, 7},  // 5 ring-back tone
    {0, 1, _, _, 3, 5, _, 7},  // 6 ring-back pause
    {0, 1, 5, 7, 4, 7, 7, 7},  // 7 AON: the answer after the request still passes
}};

const CLineStateFilter::Table CLineStateFilter::kDialledTable = {{
    //  0  1  2  3  4  5  6  7
    {0, 1, 3, 3, 3, 5, 3, 7},  // 0 silence: a first steady tone is a tone
    {0, 0, 2, _, 4, 5, _, 7},  // 1 voice
    {0, _, _, _, _, _, _, _},  // 2 dial tone
    {0, 1, 5, 3, 4, 5, _, 7},  // 3 tone: a steady tone after a tone is ring-back
    {0, 1, _, 4, _, _, _, _},  // 4 busy: voice passes
    {0, 1, _, 3, 3, 6, _, 7},  // 5 ring-back tone
    {0, 1, _, _, 3, 5, _, 7},  // 6 ring-back pause
    {0, 1, 5, 7, 4, 7, 7, 7},  // 7 AON: busy still passes (see above)
}};

void CLineStateFilter::setMode(uint32_t mode) {
    if (mode == kAwaitDialTone) {
        table_ = &kAwaitDialToneTable;
    } else if (mode == kDialled) {
        table_ = &kDialledTable;
    } else {
        return;
    }
    mode_ = mode;
    state_ = 0;
}

uint32_t CLineStateFilter::filter(uint32_t rawClass) {
    if (rawClass < kStates && state_ < kStates) {
        const int8_t next = (*table_)[state_][rawClass];
        if (next >= 0) {
            state_ = static_cast<uint32_t>(next);
        }
    }
    return state_;
}

}  // namespace orvel
