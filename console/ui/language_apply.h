#pragma once
// Applies the text table to a window: every caption whose built-in form
// equals a built-in text shows that text's current value. The built-in form
// is remembered on the widget, so applying again after a change works.

class QWidget;

namespace orvel {

void applyLanguage(QWidget* window);

}  // namespace orvel
