#include "ui/aru_window.h"

#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QSlider>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>

#include "core/settings_manager.h"
#include "core/texts.h"
#include "notify/line_library.h"
#include "notify/notify_lines.h"

namespace orvel {

namespace {
// At most this many board panels side by side, and fewer when the screen is
// narrower.
constexpr int kMaxPanelsPerRow = 3;
constexpr double kScreenShare = 0.9;
}  // namespace

TAru::TAru(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Aru"));
    setWindowTitle(T(textInputBoost));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    auto* top = new QVBoxLayout(this);
    scroll_ = new QScrollArea(this);
    scroll_->setWidgetResizable(true);
    scroll_->setFrameShape(QFrame::NoFrame);
    top->addWidget(scroll_, 1);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* close = buttons->addButton(T(textClose), QDialogButtonBox::RejectRole);
    close->setObjectName(QStringLiteral("CloseButton"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    top->addWidget(buttons);
}

void TAru::bind(TORVLines* lines, ILineLibrary* library, SettingsManager* settings) {
    lines_ = lines;
    library_ = library;
    settings_ = settings;
    auto* content = new QWidget;
    auto* panelsGrid = new QGridLayout(content);
    const int count = lines_ != nullptr ? lines_->Count() : 0;
    QGridLayout* panel = nullptr;
    std::vector<QGroupBox*> boxes;
    int board = -1, column = 0;
    for (int n = 0; n < count; ++n) {
        const TORVELLine& l = *lines_->Items(n);
        if (panel == nullptr || l.Board != board) {
            // One panel per board: its lines follow one another in the list.
            board = l.Board;
            auto* box = new QGroupBox(T(textBoard) + QLatin1Char(' ') + QString::number(board + 1),
                                      content);
            panel = new QGridLayout(box);
            panel->addWidget(new QLabel(T(textLine), box), 0, 0, Qt::AlignRight);
            panel->addWidget(new QLabel(T(textLevel), box), 2, 0, Qt::AlignRight);
            panel->setHorizontalSpacing(2);
            boxes.push_back(box);
            ++panels_;
            column = 1;
        }
        QWidget* box = panel->parentWidget();
        auto* number = new QLabel(QString::number(n + 1), box);
        QFont bold = number->font();
        bold.setBold(true);
        number->setFont(bold);
        auto* slider = new QSlider(Qt::Vertical, box);
        slider->setObjectName(QStringLiteral("Slider%1").arg(n + 1));
        slider->setRange(0, kMaxLevel);
        slider->setPageStep(1);
        slider->setTickPosition(QSlider::TicksRight);
        slider->setValue(kDefaultLevel);
        slider->setMinimumHeight(number->sizeHint().height() * 6);
        const QString where = T(textLine) + QLatin1Char(' ') + QString::number(n + 1) +
                              QStringLiteral(": ") + T(textBoard).toLower() + QLatin1Char(' ') +
                              QString::number(l.Board + 1) + QStringLiteral(", ") +
                              T(textChannel).toLower() + QLatin1Char(' ') +
                              QString::number(l.Channel + 1);
        slider->setToolTip(where);
        number->setToolTip(where);
        auto* value = new QLabel(QString::number(kDefaultLevel), box);
        connect(slider, &QSlider::valueChanged, this, [this, n, value](int v) {
            value->setText(QString::number(v));
            apply(n, v);
        });
        panel->addWidget(number, 0, column, Qt::AlignHCenter);
        panel->addWidget(slider, 1, column, Qt::AlignHCenter);
        panel->addWidget(value, 2, column, Qt::AlignHCenter);
        ++column;
        sliders_.push_back(slider);
        values_.push_back(value);
    }
    // Sizes as they will be shown: the style and fonts are applied first, or
    // the panels measure narrower than they are and the window scrolls
    // sideways.
    content->ensurePolished();
    // As many panels side by side as the screen takes.
    int widest = 1;
    for (QGroupBox* box : boxes)
        widest = std::max(widest, box->sizeHint().width());
    int perRow = kMaxPanelsPerRow;
    if (const QScreen* screen = this->screen()) {
        const int room = int(screen->availableGeometry().width() * kScreenShare);
        perRow = std::clamp(room / (widest + panelsGrid->spacing() + 8), 1, kMaxPanelsPerRow);
    }
    for (size_t i = 0; i < boxes.size(); ++i)
        panelsGrid->addWidget(boxes[i], int(i) / perRow, int(i) % perRow,
                              Qt::AlignLeft | Qt::AlignTop);
    scroll_->setWidget(content);
    loadLevels();
    fitToPanels();
}

void TAru::fitToPanels() {
    QWidget* content = scroll_->widget();
    if (content == nullptr)
        return;
    ensurePolished();
    content->ensurePolished();
    layout()->activate();
    // Fitted to its panels, as far as the screen allows; the rest scrolls
    // up and down only: a vertical scroll bar gets its own room.
    const QMargins m = layout()->contentsMargins();
    const int frame = 2 * scroll_->frameWidth();
    const int below = layout()->spacing() + layout()->itemAt(1)->sizeHint().height();
    QSize want(content->sizeHint().width() + frame + m.left() + m.right(),
               content->sizeHint().height() + frame + m.top() + m.bottom() + below);
    if (const QScreen* screen = this->screen()) {
        const QRect avail = screen->availableGeometry();
        if (want.height() > avail.height() * kScreenShare)
            want.rwidth() += style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, scroll_);
        want = want.boundedTo(QSize(avail.width(), int(avail.height() * kScreenShare)));
    }
    resize(want);
}

void TAru::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Shown for the first time, the real sizes are known.
    if (!fitted_) {
        fitted_ = true;
        fitToPanels();
    }
}

void TAru::loadLevels() {
    for (int n = 0; n < sliderCount(); ++n) {
        const int stored = settings_ != nullptr ? settings_->readIndexedInt(SID_ARU_LEVEL_VALUE,
                                                                            n + 1, kDefaultLevel)
                                                : kDefaultLevel;
        const int v = qBound(0, stored, kMaxLevel);
        const QSignalBlocker block(sliders_[size_t(n)]);
        sliders_[size_t(n)]->setValue(v);
        values_[size_t(n)]->setText(QString::number(v));
    }
}

int TAru::level(int line) const {
    return line >= 0 && line < sliderCount() ? sliders_[size_t(line)]->value() : -1;
}

QString TAru::valueText(int line) const {
    return line >= 0 && line < sliderCount() ? values_[size_t(line)]->text() : QString();
}

void TAru::setLevel(int line, int value) {
    if (line >= 0 && line < sliderCount())
        sliders_[size_t(line)]->setValue(value);  // calls the library when it changes
}

void TAru::apply(int line, int value) {
    const TORVELLine* l = lines_ != nullptr ? lines_->Items(line) : nullptr;
    if (l == nullptr || library_ == nullptr)
        return;
    // A refused level changes nothing on the line; the slider stays where it is.
    library_->SetSensLevel(uint32_t(l->Board), uint32_t(l->Channel), uint32_t(value));
}

void TAru::saveLevels() {
    if (settings_ == nullptr || lines_ == nullptr)
        return;
    for (int n = 0; n < sliderCount(); ++n)
        settings_->WriteIndexedSetting(SID_ARU_LEVEL_VALUE, n + 1, level(n));
}

void TAru::closeEvent(QCloseEvent* event) {
    saveLevels();
    QDialog::closeEvent(event);
}

}  // namespace orvel
