#include "ui/start_window.h"

#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QScreen>

#include "core/texts.h"

namespace orvel {

TStartWindow::TStartWindow(const QString& productWord, QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      word_(productWord) {
    setObjectName(QStringLiteral("StartWindow"));
    setFixedSize(440, 220);
    if (const QScreen* s = QGuiApplication::primaryScreen()) {
        move(s->availableGeometry().center() - rect().center());
    }
}

void TStartWindow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    QLinearGradient g(0, 0, 0, height());
    g.setColorAt(0, QColor(0x2B, 0x4C, 0x8C));
    g.setColorAt(1, QColor(0x12, 0x22, 0x44));
    p.fillRect(rect(), g);
    p.setPen(QColor(0xF2, 0xC1, 0x2E));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    QFont big(QStringLiteral("Arial"));
    big.setPixelSize(56);
    big.setBold(true);
    p.setFont(big);
    p.drawText(rect().adjusted(0, 30, 0, -90), Qt::AlignCenter, word_);
    QFont small(QStringLiteral("Arial"));
    small.setPixelSize(18);
    p.setFont(small);
    p.setPen(Qt::white);
    p.drawText(rect().adjusted(0, 120, 0, -40), Qt::AlignCenter, T(textAlarmSystem));
}

}  // namespace orvel
