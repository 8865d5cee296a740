#pragma once
// Line status codes: one code space for polled line states and call results,
// each with its text and the colours of its panel in the status window.

#include <QString>
#include <cstdint>
#include <optional>

namespace orvel {

enum LineStatusCode : int32_t {
    kStatusDisabled = -1,
    kStatusNotReady = 0,
    kStatusFree = 1,
    kStatusNoLine = 6,
    kStatusBusy = 9,
    kStatusNotified = 14,
    kStatusNotConfirmed = 15,
    kStatusNoAnswer = 16,
    kStatusUnobtainable = 18,  // appended: the number does not exist; not called again
};

// Colours as 0xRRGGBB.
namespace colors {
inline constexpr uint32_t kRed = 0xFF0000;
inline constexpr uint32_t kYellow = 0xFFFF00;
inline constexpr uint32_t kLime = 0x00FF00;
inline constexpr uint32_t kGrey = 0x808080;
inline constexpr uint32_t kSilver = 0xC0C0C0;
inline constexpr uint32_t kBlack = 0x000000;
inline constexpr uint32_t kLightBlue = 0xE6F6FD;
}  // namespace colors

struct TLineStatusLook {
    QString text;
    uint32_t panel = 0;
    uint32_t font = 0;
};

// Text and colours of a code; nothing for a code outside -1..17 (the panel
// then keeps what it shows). Code 0 looks different on an assigned line.
std::optional<TLineStatusLook> lineStatusLook(int code, bool assigned);

}  // namespace orvel
