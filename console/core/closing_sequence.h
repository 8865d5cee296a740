#pragma once
// What closing the main window asks and does, in order.

#include <functional>

#include "core/message_kinds.h"

namespace orvel {

struct ClosingHooks {
    std::function<bool()> runInProgress;
    // Closes the status window (stopping the run), waits, stops the line
    // library and frees the enabled lines.
    std::function<void()> stopRun;
    std::function<void()> writeClosingLog;  // "Закрытие программы", class 2
    std::function<void()> saveState;        // placement, widths, column names...
};

// True when the window may close; everything before the window is freed has
// then been done.
bool runClosingSequence(IMessageDialog& dialog, const ClosingHooks& hooks);

}  // namespace orvel
