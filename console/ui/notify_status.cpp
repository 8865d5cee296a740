#include "ui/notify_status.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QSlider>
#include <QVBoxLayout>

#include "core/texts.h"
#include "notify/line_library.h"
#include "notify/notify_lines.h"
#include "ui/message_dialog.h"

namespace orvel {

namespace {
QString panelStyle(uint panel, uint font) {
    return QStringLiteral("QLabel { background: #%1; color: #%2; padding: 2px; }")
        .arg(panel & 0xFFFFFF, 6, 16, QLatin1Char('0'))
        .arg(font & 0xFFFFFF, 6, 16, QLatin1Char('0'));
}
constexpr int kListenLevelOnClose = 128;
}  // namespace

TNotifyStatus::TNotifyStatus(TORVLines& lines, ILineLibrary& lib, QWidget* parent)
    : QDialog(parent), lines_(lines), lib_(lib) {
    setObjectName(QStringLiteral("NotifyStatus"));
    setWindowTitle(T(textAnnouncementState));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    resize(760, 560);

    auto* top = new QVBoxLayout(this);
    auto* caption = new QHBoxLayout;
    for (const QString& t : {QStringLiteral("№"), QStringLiteral("Статус линии"),
                             QStringLiteral("Номер"), QStringLiteral("Абонент"), QString()}) {
        auto* l = new QLabel(t, this);
        l->setStyleSheet(QStringLiteral("font-weight: bold"));
        caption->addWidget(l, t.size() > 1 ? 2 : 0);
    }
    top->addLayout(caption);

    auto* middle = new QHBoxLayout;
    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    rowsBox_ = new QWidget(scroll);
    auto* grid = new QGridLayout(rowsBox_);
    grid->setAlignment(Qt::AlignTop);
    grid->setColumnStretch(1, 2);
    grid->setColumnStretch(2, 2);
    grid->setColumnStretch(3, 3);
    scroll->setWidget(rowsBox_);
    middle->addWidget(scroll, 1);
    volume_ = new QSlider(Qt::Vertical, this);
    volume_->setObjectName(QStringLiteral("tbVolume"));
    volume_->setRange(0, 65535);
    volume_->setTickInterval(4096);
    volume_->setTickPosition(QSlider::TicksBothSides);
    volume_->setInvertedAppearance(true);
    volume_->setValue(32768);
    connect(volume_, &QSlider::valueChanged, this, [this](int pos) { volumeLevel_ = 65535 - pos; });
    middle->addWidget(volume_);
    top->addLayout(middle, 1);

    summary_ = new QLabel(T(textSystemCommonState) + QLatin1Char(':'), this);
    summary_->setObjectName(QStringLiteral("LSystemStatus"));
    time_ = new QLabel(this);
    time_->setObjectName(QStringLiteral("Timelebel"));
    error_ = new QLabel(this);
    error_->setObjectName(QStringLiteral("ErrorLabel"));
    error_->setStyleSheet(QStringLiteral("color: red"));
    top->addWidget(summary_);
    top->addWidget(time_);
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

void TNotifyStatus::buildRows() {
    auto* grid = static_cast<QGridLayout*>(rowsBox_->layout());
    for (const Row& r : rows_) {
        delete r.status;
        delete r.number;
        delete r.name;
        delete r.listen;
    }
    rows_.clear();
    for (int i = 0; i < lines_.Count(); ++i) {
        Row r;
        grid->addWidget(new QLabel(QString::number(i + 1), rowsBox_), i, 0);
        r.status = new QLabel(rowsBox_);
        r.number = new QLabel(rowsBox_);
        r.name = new QLabel(rowsBox_);
        r.listen = new QPushButton(T(textListen), rowsBox_);
        r.listen->setCheckable(true);
        r.status->setStyleSheet(panelStyle(0x808080, 0xC0C0C0));
        grid->addWidget(r.status, i, 1);
        grid->addWidget(r.number, i, 2);
        grid->addWidget(r.name, i, 3);
        grid->addWidget(r.listen, i, 4);
        connect(r.listen, &QPushButton::toggled, this,
                [this, i](bool on) { listenToggled(i, on); });
        rows_ << r;
    }
}

QPushButton* TNotifyStatus::listenButton(int line) const {
    return line >= 0 && line < rows_.size() ? rows_[line].listen : nullptr;
}

QLabel* TNotifyStatus::statusPanel(int line) const {
    return line >= 0 && line < rows_.size() ? rows_[line].status : nullptr;
}

void TNotifyStatus::setLineRow(int line, const QString& status, uint panel, uint font,
                               const QString& number, const QString& name, bool visible) {
    if (line < 0 || line >= rows_.size())
        return;
    const Row& r = rows_[line];
    r.status->setText(status);
    r.status->setStyleSheet(panelStyle(panel, font));
    r.number->setText(number);
    r.name->setText(name);
    r.number->setVisible(visible);
    r.name->setVisible(visible);
    r.listen->setVisible(visible);
}

void TNotifyStatus::setSummary(const QString& text) {
    summary_->setText(text);
}

void TNotifyStatus::setTimeText(const QString& text) {
    if (time_->text() != text)
        time_->setText(text);
}

void TNotifyStatus::setErrorText(const QString& text) {
    error_->setText(text);
}

void TNotifyStatus::listenToggled(int line, bool on) {
    // Only one line is listened to at a time.
    if (on) {
        for (int j = 0; j < rows_.size(); ++j) {
            if (j == line || !rows_[j].listen->isChecked())
                continue;
            const QSignalBlocker block(rows_[j].listen);
            rows_[j].listen->setChecked(false);
            QFont f = rows_[j].listen->font();
            f.setBold(false);
            rows_[j].listen->setFont(f);
            const TORVELLine* l = lines_.Items(j);
            if (l)
                lib_.ListenLine(uint32_t(l->Board), uint32_t(l->Channel), 0);
        }
    }
    QFont f = rows_[line].listen->font();
    f.setBold(on);
    rows_[line].listen->setFont(f);
    const TORVELLine* l = lines_.Items(line);
    if (l)
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
    }
    QDialog::showEvent(event);
}

void TNotifyStatus::closeEvent(QCloseEvent* event) {
    if (closing_) {
        event->accept();
        return;
    }
    closing_ = true;
    for (int i = 0; i < rows_.size(); ++i) {
        QPushButton* b = rows_[i].listen;
        if (!b->isChecked())
            continue;
        const TORVELLine* l = lines_.Items(i);
        if (l)
            lib_.SetListenLevel(uint32_t(l->Board), uint32_t(l->Channel), kListenLevelOnClose);
        const QSignalBlocker block(b);
        b->setChecked(false);
        QFont f = b->font();
        f.setBold(false);
        b->setFont(f);
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
