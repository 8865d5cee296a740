#pragma once
// Buttons, kinds and results of the program's one message dialog, and the
// interface through which widget-free code asks its questions.

#include <QString>
#include <cstdint>

namespace orvel {

namespace mb {
// Button flags.
inline constexpr uint16_t kOk = 0x001;
inline constexpr uint16_t kYes = 0x002;
inline constexpr uint16_t kNo = 0x004;
inline constexpr uint16_t kYesToAll = 0x008;
inline constexpr uint16_t kNoToAll = 0x010;
inline constexpr uint16_t kCancel = 0x020;
inline constexpr uint16_t kIgnore = 0x040;
inline constexpr uint16_t kRetry = 0x080;
inline constexpr uint16_t kAbort = 0x100;
// Results.
inline constexpr int kResultNone = 0;  // a dialog was already showing
inline constexpr int kResultOk = 1;
inline constexpr int kResultCancel = 2;
inline constexpr int kResultAbort = 3;
inline constexpr int kResultRetry = 4;
inline constexpr int kResultIgnore = 5;
inline constexpr int kResultYes = 6;
inline constexpr int kResultNo = 7;
inline constexpr int kResultNoToAll = 9;
inline constexpr int kResultYesToAll = 10;
}  // namespace mb

enum MessageKind : uint8_t {
    kKindConfirmation = 0,
    kKindWarning = 1,
    kKindError = 2,
    kKindInformation = 3,
    kKindMessage = 4,
};

class IMessageDialog {
public:
    virtual ~IMessageDialog() = default;
    virtual int show(const QString& text, const QString& caption, uint16_t buttons,
                     uint8_t kind) = 0;
};

}  // namespace orvel
