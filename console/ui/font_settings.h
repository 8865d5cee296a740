#pragma once
// A font as an object setting: one pair per published property ("Charset",
// "Color", "Height", "Name", "Pitch", "Size", "Style"), the style as a set
// such as "[fsBold,fsItalic]".

#include <QColor>
#include <QFont>

#include "core/settings_manager.h"

namespace orvel {

PropertyList fontToProperties(const QFont& font, const QColor& colour);
// Applies every pair it knows; pairs that do not apply are skipped one by one.
void applyFontProperties(const PropertyList& properties, QFont& font, QColor* colour = nullptr);

}  // namespace orvel
