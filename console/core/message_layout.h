#pragma once
// Geometry of the message dialog, kept apart from the widgets so that it can
// be checked without a screen. All values are pixels of the client area.

#include <QList>
#include <QRect>
#include <QString>
#include <cstdint>

namespace orvel {

struct MessageButtonSpec {
    uint16_t flag;
    int result;
    int picture;  // index into the dialog's button image list
};

// The buttons of `flags`, in the order they are laid out left to right.
QList<MessageButtonSpec> messageButtons(uint16_t flags);
// Caption of a button (OK and the Yes/No family from the text table).
QString messageButtonCaption(uint16_t flag);

struct MessageLayout {
    QSize client;
    QRect message;
    QRect picture;
    QList<QRect> buttons;  // relative to the bottom panel
    int panelHeight = 0;
};

inline constexpr int kDlgMargin = 8;
inline constexpr int kDlgButtonWidth = 113;
inline constexpr int kDlgButtonHeight = 25;
inline constexpr int kDlgStartWidth = 312;
inline constexpr int kDlgStartHeight = 116;
inline constexpr int kDlgMinMessageWidth = 225;
inline constexpr int kDlgPictureSize = 48;

// messageWidth/messageHeight: the text's measured size when wrapped at its
// chosen width (at least kDlgMinMessageWidth).
MessageLayout layoutMessageDialog(uint16_t flags, int messageWidth, int messageHeight);

}  // namespace orvel
