#include "ui/notify_status.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QVBoxLayout>

#include "core/texts.h"
#include "notify/line_library.h"
#include "notify/notify_lines.h"
#include "media/output_volume.h"
#include "ui/line_rows_view.h"
#include "ui/message_dialog.h"

namespace orvel {

namespace {
constexpr int kListenLevelOnClose = 128;
constexpr int kVolumeMax = 65535;
// Share of the screen's height the window may take to show its rows.
constexpr double kScreenShare = 0.9;
}  // namespace

TNotifyStatus::TNotifyStatus(TORVLines& lines, ILineLibrary& lib, QWidget* parent)
    : QDialog(parent), lines_(lines), lib_(lib) {
    setObjectName(QStringLiteral("NotifyStatus"));
    setWindowTitle(T(textAnnouncementState));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto* top = new QVBoxLayout(this);
    auto* middle = new QHBoxLayout;
    rows_ = new TLineRowsView(this);
    connect(rows_, &TLineRowsView::listenToggled, this, &TNotifyStatus::listenToggled);
    middle->addWidget(rows_, 1);

    // The loudspeaker's volume: the top is full volume.
    volumeBox_ = new QWidget(this);
    auto* volumeColumn = new QVBoxLayout(volumeBox_);
    volumeColumn->setContentsMargins(0, 0, 0, 0);
    auto* volumeLabel = new QLabel(T(textVolume), volumeBox_);
    volume_ = new QSlider(Qt::Vertical, volumeBox_);
    volume_->setObjectName(QStringLiteral("tbVolume"));
    volume_->setRange(0, kVolumeMax);
    volume_->setTickInterval(4096);
    volume_->setPageStep(4096);
    volume_->setTickPosition(QSlider::TicksBothSides);
    volume_->setInvertedAppearance(true);
    volume_->setValue(32768);
    volumeLabel->setBuddy(volume_);
    volumeColumn->addWidget(volumeLabel, 0, Qt::AlignHCenter);
    volumeColumn->addWidget(volume_, 1, Qt::AlignHCenter);
    connect(volume_, &QSlider::valueChanged, this, &TNotifyStatus::volumeMoved);
    middle->addWidget(volumeBox_);
    top->addLayout(middle, 1);
    setOutputVolume(makeAlsaOutputVolume());

    summary_ = new QLabel(T(textSystemCommonState) + QLatin1Char(':'), this);
    summary_->setObjectName(QStringLiteral("LSystemStatus"));
    time_ = new QLabel(this);
    time_->setObjectName(QStringLiteral("Timelebel"));
    plan_ = new QLabel(this);
    plan_->setObjectName(QStringLiteral("PlanLabel"));
    plan_->hide();
    error_ = new QLabel(this);
    error_->setObjectName(QStringLiteral("ErrorLabel"));
    error_->setStyleSheet(QStringLiteral("color: red"));
    top->addWidget(summary_);
    top->addWidget(time_);
    top->addWidget(plan_);
    top->addWidget(error_);

    auto* buttons = new QHBoxLayout;
    auto* gain = new QPushButton(T(textBoost), this);
    connect(gain, &QPushButton::clicked, this, [this] {
        if (onGain)
            onGain();
    });
    auto* stop = new QPushButton(T(textCancelAlarm), this);
    stop->setObjectName(QStringLiteral("StopButton"));
    connect(stop, &QPushButton::clicked, this, &TNotifyStatus::stopPressed);
    auto* save = new QPushButton(QStringLiteral("Сохранить и прекратить"), this);
    save->setObjectName(QStringLiteral("SaveAndStopButton"));
    save->setToolTip(
        QStringLiteral("Сохранить текущее состояние оповещения для возможности в "
                       "следующий раз начать оповещение с этого состояяния"));
    connect(save, &QPushButton::clicked, this, &TNotifyStatus::saveAndStopPressed);
    buttons->addWidget(gain);
    buttons->addStretch();
    buttons->addWidget(stop);
    buttons->addWidget(save);
    top->addLayout(buttons);
}

TNotifyStatus::~TNotifyStatus() = default;

void TNotifyStatus::setOutputVolume(std::unique_ptr<IOutputVolume> volume) {
    output_ = std::move(volume);
    volumeBox_->setVisible(output_ && output_->available());
}

void TNotifyStatus::volumeMoved(int position) {
    volumeLevel_ = kVolumeMax - position;
    if (output_ && output_->available())
        output_->setVolume(volumeLevel_);
}

void TNotifyStatus::buildRows() {
    std::vector<std::pair<int, int>> addresses;
    for (int i = 0; i < lines_.Count(); ++i)
        addresses.emplace_back(lines_.Items(i)->Board, lines_.Items(i)->Channel);
    rows_->setLines(addresses);
    // Every row in view when the screen is high enough; the rest scrolls.
    layout()->activate();
    QSize want = sizeHint();
    if (const QScreen* screen = this->screen()) {
        const QRect avail = screen->availableGeometry();
        want = want.boundedTo(
            QSize(avail.width(), int(avail.height() * kScreenShare) - frameSize().height() +
                                     height()));
    }
    resize(want);
}

int TNotifyStatus::rowCount() const {
    return rows_->rowCount();
}

QPushButton* TNotifyStatus::listenButton(int line) const {
    return rows_->listenButton(line);
}

const TLineRowView* TNotifyStatus::rowView(int line) const {
    return rows_->row(line);
}

void TNotifyStatus::setLineRow(int line, const QString& status, uint panel, uint font,
                               const QString& number, const QString& name, bool visible) {
    rows_->setRow(line, TLineRowView{status, panel, font, number, name, visible});
}

void TNotifyStatus::setSummary(const QString& text) {
    summary_->setText(text);
}

void TNotifyStatus::setTimeText(const QString& text) {
    if (time_->text() != text)
        time_->setText(text);
}

void TNotifyStatus::setPlanText(const QString& text) {
    if (plan_->text() != text)
        plan_->setText(text);
    plan_->setVisible(!text.isEmpty());
}

void TNotifyStatus::setErrorText(const QString& text) {
    error_->setText(text);
}

void TNotifyStatus::setListenFont(QPushButton* button, bool bold) {
    QFont f = button->font();
    f.setBold(bold);
    button->setFont(f);
}

void TNotifyStatus::listenToggled(int line, bool on) {
    // Only one line is listened to at a time.
    if (on) {
        for (int j = 0; j < rowCount(); ++j) {
            QPushButton* other = listenButton(j);
            if (j == line || !other->isChecked())
                continue;
            const QSignalBlocker block(other);
            other->setChecked(false);
            setListenFont(other, false);
            if (const TORVELLine* l = lines_.Items(j))
                lib_.ListenLine(uint32_t(l->Board), uint32_t(l->Channel), 0);
        }
    }
    setListenFont(listenButton(line), on);
    if (const TORVELLine* l = lines_.Items(line))
        lib_.ListenLine(uint32_t(l->Board), uint32_t(l->Channel), on ? 1 : 0);
}

void TNotifyStatus::stopPressed() {
    if (ShowMessageDialog(T(textConfirmCancelAlarm) + QLatin1Char('?'),
                          T(textConfirmation) + QLatin1Char('!'), mb::kYes | mb::kNo,
                          kKindConfirmation) != mb::kResultYes)
        return;
    operatorStop_ = true;
    if (onStopRun)
        onStopRun();
    close();
}

void TNotifyStatus::saveAndStopPressed() {
    if (ShowMessageDialog(T(textConfirmCancelAlarm) + QLatin1Char('?'), T(textConfirmation),
                          mb::kYes | mb::kNo, kKindConfirmation) != mb::kResultYes)
        return;
    const QString file = chooseDumpFile ? chooseDumpFile() : QString();
    if (!file.isEmpty() && onSaveDump)
        onSaveDump(file);
    operatorStop_ = true;
    if (onStopRun)
        onStopRun();
    close();
}

void TNotifyStatus::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        operatorStop_ = false;
        closing_ = false;
        // The bar starts where the sound output stands (unchanged when it
        // cannot be read).
        if (const auto v = output_ ? output_->volume() : std::nullopt) {
            const QSignalBlocker block(volume_);
            volume_->setValue(kVolumeMax - *v);
            volumeLevel_ = *v;
        }
    }
    QDialog::showEvent(event);
}

void TNotifyStatus::closeEvent(QCloseEvent* event) {
    if (closing_) {
        event->accept();
        return;
    }
    closing_ = true;
    for (int i = 0; i < rowCount(); ++i) {
        QPushButton* b = listenButton(i);
        if (!b->isChecked())
            continue;
        const TORVELLine* l = lines_.Items(i);
        if (l)
            lib_.SetListenLevel(uint32_t(l->Board), uint32_t(l->Channel), kListenLevelOnClose);
        const QSignalBlocker block(b);
        b->setChecked(false);
        setListenFont(b, false);
        if (l)
            lib_.ListenLine(uint32_t(l->Board), uint32_t(l->Channel), 0);
    }
    if (gainWindow_ != nullptr && gainWindow_->isVisible())
        gainWindow_->close();
    if (onClosing)
        onClosing();
    event->accept();
    QDialog::closeEvent(event);
    closing_ = false;
}

}  // namespace orvel
