#include "core/message_layout.h"

#include <algorithm>
#include <array>

#include "core/message_kinds.h"
#include "core/texts.h"

namespace orvel {
namespace {

constexpr std::array<MessageButtonSpec, 9> kButtons = {{
    {mb::kOk, mb::kResultOk, 0},
    {mb::kCancel, mb::kResultCancel, 1},
    {mb::kYes, mb::kResultYes, 2},
    {mb::kNo, mb::kResultNo, 3},
    {mb::kYesToAll, mb::kResultYesToAll, 4},
    {mb::kNoToAll, mb::kResultNoToAll, 5},
    {mb::kAbort, mb::kResultAbort, 6},
    {mb::kRetry, mb::kResultRetry, 7},
    {mb::kIgnore, mb::kResultIgnore, 8},
}};

}  // namespace

QList<MessageButtonSpec> messageButtons(uint16_t flags) {
    QList<MessageButtonSpec> out;
    for (const auto& b : kButtons) {
        if (flags & b.flag)
            out.append(b);
    }
    return out;
}

QString messageButtonCaption(uint16_t flag) {
    switch (flag) {
        case mb::kOk:
            return QStringLiteral("OK");
        case mb::kCancel:
            return QStringLiteral("Отмена");
        case mb::kYes:
            return T(textYes);
        case mb::kNo:
            return T(textNo);
        case mb::kYesToAll:
            return T(textYesToAll);
        case mb::kNoToAll:
            return T(textNoToAll);
        case mb::kAbort:
            return QStringLiteral("Прервать");
        case mb::kRetry:
            return QStringLiteral("Повторить");
        case mb::kIgnore:
            return QStringLiteral("Пропустить");
        default:
            return {};
    }
}

MessageLayout layoutMessageDialog(uint16_t flags, int messageWidth, int messageHeight) {
    MessageLayout l;
    const int count = int(messageButtons(flags).size());
    const int msgLeft = 2 * kDlgMargin + kDlgPictureSize;
    const int msgTop = kDlgMargin;
    messageWidth = std::max(messageWidth, kDlgMinMessageWidth);

    l.panelHeight = 2 * kDlgMargin + kDlgButtonHeight;
    l.picture = QRect(kDlgMargin, msgTop, kDlgPictureSize, kDlgPictureSize);

    int width = msgLeft + messageWidth + 3 * kDlgMargin;
    const int rowWidth = count * (kDlgButtonWidth + kDlgMargin);
    if (width < rowWidth) {
        width = kDlgMargin + rowWidth;
        messageWidth = width - msgLeft - 3 * kDlgMargin;  // the message stretches
    }
    width = std::max(width, kDlgStartWidth);
    const int textHeight = std::max(messageHeight, kDlgPictureSize);
    const int height = std::max(l.panelHeight + 2 * msgTop + textHeight, kDlgStartHeight);
    l.client = QSize(width, height);
    l.message = QRect(msgLeft, msgTop, width - msgLeft - 2 * kDlgMargin,
                      height - l.panelHeight - 2 * msgTop);

    const int shift = count < 3 ? width / 2 - count * (kDlgButtonWidth / 2 + kDlgMargin) : 0;
    for (int n = 0; n < count; ++n) {
        const int left = n * kDlgButtonWidth + (n + 1) * kDlgMargin + shift;
        l.buttons.append(QRect(left, kDlgMargin, kDlgButtonWidth, kDlgButtonHeight));
    }
    return l;
}

}  // namespace orvel
