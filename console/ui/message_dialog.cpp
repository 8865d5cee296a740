#include "ui/message_dialog.h"

#include <QApplication>
#include <QCursor>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <cstdio>

#include "core/message_layout.h"
#include "ui/language_apply.h"

namespace orvel {
namespace {

constexpr int kMaxNaturalWidth = 560;

QStyle::StandardPixmap pictureFor(uint8_t kind) {
    switch (kind) {
        case kKindConfirmation:
            return QStyle::SP_MessageBoxQuestion;
        case kKindWarning:
            return QStyle::SP_MessageBoxWarning;
        case kKindError:
            return QStyle::SP_MessageBoxCritical;
        default:
            return QStyle::SP_MessageBoxInformation;
    }
}

// The button image list, by picture index.
constexpr QStyle::StandardPixmap kButtonPictures[] = {
    QStyle::SP_DialogOkButton,    QStyle::SP_DialogCancelButton,   QStyle::SP_DialogYesButton,
    QStyle::SP_DialogNoButton,    QStyle::SP_DialogYesToAllButton, QStyle::SP_DialogNoToAllButton,
    QStyle::SP_DialogAbortButton, QStyle::SP_DialogRetryButton,    QStyle::SP_DialogIgnoreButton,
};

bool g_showing = false;

}  // namespace

TRPDialog::TRPDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("RPDialog"));
    setWindowFlag(Qt::WindowStaysOnTopHint);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0x23, 0x3B, 0x6E));
    setPalette(pal);
    picture_ = new QLabel(this);
    message_ = new QLabel(this);
    message_->setObjectName(QStringLiteral("message"));
    message_->setAlignment(Qt::AlignCenter);
    message_->setWordWrap(true);
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(12);
    f.setBold(true);
    message_->setFont(f);
    panel_ = new QWidget(this);
    panel_->setAutoFillBackground(true);
    QPalette pp = panel_->palette();
    pp.setColor(QPalette::Window, QColor(0xD8, 0xDE, 0xEA));
    panel_->setPalette(pp);
}

QColor TRPDialog::messageColour() const {
    return message_->palette().color(QPalette::WindowText);
}

void TRPDialog::setup(const QString& text, const QString& caption, uint16_t flags, uint8_t kind) {
    qDeleteAll(buttons_);
    buttons_.clear();
    setWindowTitle(caption);
    message_->setText(text);

    const QFontMetrics fm(message_->font());
    int natural = 0;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        natural = std::max(natural, fm.horizontalAdvance(line));
    }
    const int width = std::clamp(natural + 4, kDlgMinMessageWidth, kMaxNaturalWidth);
    const int height =
        fm.boundingRect(QRect(0, 0, width, 10000), Qt::TextWordWrap | Qt::AlignCenter, text)
            .height();
    const MessageLayout l = layoutMessageDialog(flags, width, height);

    setFixedSize(l.client);
    picture_->setGeometry(l.picture);
    if (kind <= kKindMessage) {
        picture_->setPixmap(style()->standardIcon(pictureFor(kind)).pixmap(l.picture.size()));
    }
    message_->setGeometry(l.message);
    QPalette mp = message_->palette();
    const bool alarming = kind == kKindWarning || kind == kKindError;
    mp.setColor(QPalette::WindowText, alarming ? Qt::yellow : Qt::white);
    message_->setPalette(mp);
    panel_->setGeometry(0, l.client.height() - l.panelHeight, l.client.width(), l.panelHeight);

    const auto specs = messageButtons(flags);
    for (int n = 0; n < specs.size(); ++n) {
        auto* b = new QPushButton(messageButtonCaption(specs[n].flag), panel_);
        b->setGeometry(l.buttons[n]);
        b->setCursor(Qt::PointingHandCursor);
        b->setIcon(style()->standardIcon(kButtonPictures[specs[n].picture]));
        const int result = specs[n].result;
        connect(b, &QPushButton::clicked, this, [this, result] { done(result); });
        buttons_.append(b);
        b->show();
    }
    if (!buttons_.isEmpty())
        buttons_.first()->setDefault(true);
    if (const QScreen* s = QGuiApplication::primaryScreen()) {
        move(s->availableGeometry().center() - rect().center());
    }
    if (kind <= kKindMessage)
        QApplication::beep();
}

int ShowMessageDialog(const QString& text, const QString& caption, uint16_t flags, uint8_t kind) {
    if (qEnvironmentVariableIsSet("ORVEL_DIALOG_ANSWER")) {
        std::fprintf(stderr, "%s: %s\n", caption.toUtf8().constData(), text.toUtf8().constData());
        const int wanted = qEnvironmentVariableIntValue("ORVEL_DIALOG_ANSWER");
        const auto specs = messageButtons(flags);
        for (const auto& s : specs) {
            if (s.result == wanted)
                return wanted;
        }
        return specs.isEmpty() ? mb::kResultCancel : specs.first().result;
    }
    if (g_showing)
        return mb::kResultNone;
    g_showing = true;
    TRPDialog dialog;
    dialog.setup(text, caption, flags, kind);
    applyLanguage(&dialog);
    const int r = dialog.exec();
    g_showing = false;
    // Escape and the close box reject the dialog with 0: that is Cancel.
    return r == QDialog::Rejected ? mb::kResultCancel : r;
}

}  // namespace orvel
