#pragma once
// The subscriber list's look from the program's colour sets and list font:
// the background of set 4 and the font of the object setting.

class QWidget;

namespace orvel {

struct ProgramContext;

// Finds the subscriber list ("ListView") below `window` and repaints it.
void applyListLook(QWidget* window, const ProgramContext& ctx);

}  // namespace orvel
