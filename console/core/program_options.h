#pragma once
// The program-wide options the main window reads from the settings at start.

#include <QString>
#include <array>
#include <cstdint>

namespace orvel {

class SettingsManager;

// A colour as the settings store it: 65536 × blue + 256 × green + red.
struct ColourSet {
    uint32_t background = 0;
    uint32_t foreground = 0;
    bool bold = true;
    bool italic = false;
};

struct ProgramOptions {
    int userPanelSplit = 273;
    int fieldLabelsWidth = 105;
    int maxCallsCount = 5;
    bool reportAutoShow = false;
    bool reportAutoSave = true;
    bool notConfirmEditList = true;
    bool abonentConfirmation = true;
    bool logSystem = false;
    bool userDropLines = true;
    uint16_t attemptPause = 0;
    int cryptMode = 0;
    // Sets 1..3 colour subscribers by state; set 4 is the list background.
    std::array<ColourSet, 4> colours{};

    void load(const SettingsManager& settings);
};

// Font style value: bold adds 1, italic adds 256.
inline bool styleIsBold(int style) {
    return (style & 0xFF) != 0;
}
inline bool styleIsItalic(int style) {
    return style >= 256;
}

}  // namespace orvel
