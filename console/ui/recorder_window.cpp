#include "ui/recorder_window.h"

#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/safe_file.h"
#include "core/texts.h"
#include "media/message_check.h"
#include "media/message_levels.h"
#include "ui/message_dialog.h"

namespace orvel {

namespace {

constexpr int kDisplayTickMs = 50;
constexpr int kLampTickMs = 500;
constexpr int kPositionTickMs = 100;
const QColor kDisplayBackground(0x33, 0x33, 0x33);

void showError(const QString& text) {
    ShowMessageDialog(text, T(textError), mb::kOk, kKindError);
}

// Copies `from` over `to` through a file beside it, so that a failed copy
// never leaves half a message under the chosen name.
bool copyOver(const QString& from, const QString& to, QString* error) {
    const QString aside = asidePathFor(to);
    QFile::remove(aside);
    QFile source(from);
    if (!source.copy(aside)) {
        *error = source.errorString();
        QFile::remove(aside);
        writeFailed(to, *error);
        return false;
    }
    return commitAside(aside, to, error);
}

}  // namespace

TWaveDisplay::TWaveDisplay(QWidget* parent) : QWidget(parent) {
    setMinimumSize(400, 120);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TWaveDisplay::setSamples(std::vector<int16_t> samples) {
    samples_ = std::move(samples);
    update();
}

void TWaveDisplay::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), kDisplayBackground);
    const int zero = height() / 2;
    p.setPen(Qt::yellow);
    p.drawLine(0, zero, width(), zero);
    if (samples_.size() < 2)
        return;
    // Half the height is full scale.
    const double scale = (height() / 2.0) / 32768.0;
    QPolygonF line;
    line.reserve(qsizetype(samples_.size()));
    const double step = double(width()) / double(samples_.size() - 1);
    for (size_t i = 0; i < samples_.size(); ++i)
        line << QPointF(double(i) * step, zero - samples_[i] * scale);
    p.setPen(Qt::green);
    p.drawPolyline(line);
}

TWaveRecorder::TWaveRecorder(const QString& caption, const QString& targetDir,
                             const QString& proposedName, QWidget* parent)
    : QDialog(parent), targetDir_(targetDir), proposedName_(proposedName) {
    setObjectName(QStringLiteral("WaveRecorder"));
    setWindowTitle(caption);
    const QString dir = QFileInfo(targetDir).isDir() ? targetDir : QDir::currentPath();
    tempFile_ = QDir(dir).filePath(QStringLiteral("wav.tmp"));

    filter_ = QStringLiteral("Wav Files (*.wav);;All Files (*)");
    const QString suffix = QFileInfo(proposedName).suffix();
    if (!suffix.isEmpty() && suffix.compare(QLatin1String("wav"), Qt::CaseInsensitive) != 0) {
        const QString mask = QStringLiteral("*.") + suffix;
        filter_ += QStringLiteral(";;(") + mask + QStringLiteral(") (") + mask + QLatin1Char(')');
    }

    lamp_ = new QLabel(this);
    lamp_->setFixedSize(16, 16);
    time_ = new QLabel(TWaveCapture::counterText(0, T(textMinutesF), T(textSec)), this);
    levels_ = new QLabel(this);
    status_ = new QLabel(this);
    status_->setWordWrap(true);
    status_->setStyleSheet(QStringLiteral("color: #a00000"));
    display_ = new TWaveDisplay(this);
    bar_ = new QSlider(Qt::Horizontal, this);
    bar_->setEnabled(false);
    position_ = new QLabel(TDVRWavePlayer::positionText(0), this);
    record_ = new QPushButton(T(textRecordButton), this);
    stop_ = new QPushButton(T(textStopButton), this);
    play_ = new QPushButton(T(textPlayButton), this);
    save_ = new QPushButton(T(textSaveButton) + QStringLiteral("..."), this);
    close_ = new QPushButton(T(textClose), this);

    auto* top = new QHBoxLayout;
    top->addWidget(lamp_);
    top->addWidget(time_);
    top->addStretch();
    top->addWidget(levels_);
    auto* positionRow = new QHBoxLayout;
    positionRow->addWidget(bar_, 1);
    positionRow->addWidget(position_);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {record_, stop_, play_, save_})
        buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(close_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(display_, 1);
    layout->addLayout(positionRow);
    layout->addWidget(status_);
    layout->addLayout(buttons);

    stop_->setEnabled(false);
    play_->setEnabled(false);
    save_->setEnabled(false);
    setLampOn(false);

    displayTimer_.setInterval(kDisplayTickMs);
    lampTimer_.setInterval(kLampTickMs);
    positionTimer_.setInterval(kPositionTickMs);
    connect(&displayTimer_, &QTimer::timeout, this, [this] { displayTick(); });
    connect(&lampTimer_, &QTimer::timeout, this, [this] { setLampOn(!lampOn_); });
    connect(&positionTimer_, &QTimer::timeout, this, [this] { positionTick(); });
    connect(record_, &QPushButton::clicked, this, [this] { startRecording(); });
    connect(stop_, &QPushButton::clicked, this, [this] { stop(); });
    connect(play_, &QPushButton::clicked, this, [this] { play(); });
    connect(save_, &QPushButton::clicked, this, [this] { save(); });
    connect(close_, &QPushButton::clicked, this, &QWidget::close);
    connect(bar_, &QSlider::sliderPressed, this, [this] { player_.StopAndRewind(); });
    connect(bar_, &QSlider::sliderMoved, this, [this](int ms) {
        if (player_.state() != TDVRWavePlayer::kPlay)
            player_.SeekTo(uint32_t(ms));
    });
    connect(bar_, &QSlider::sliderReleased, this, [this] {
        player_.SeekTo(uint32_t(bar_->value()));
        player_.Play();
    });
    askFileName = [this] { return chooseFile(); };
    resize(560, 300);
}

TWaveRecorder::~TWaveRecorder() {
    capture_.stop();
    player_.CloseWave();
}

void TWaveRecorder::setLampOn(bool on) {
    lampOn_ = on;
    lamp_->setStyleSheet(on ? QStringLiteral("background: #ff2020; border-radius: 8px")
                            : QStringLiteral("background: #602020; border-radius: 8px"));
}

void TWaveRecorder::setButtons(bool busy) {
    record_->setEnabled(!busy);
    stop_->setEnabled(busy);
    play_->setEnabled(!busy && tempUsable_);
    save_->setEnabled(!busy && tempUsable_);
}

void TWaveRecorder::startRecording() {
    player_.CloseWave();
    QString error;
    if (!capture_.start(tempFile_, &error)) {
        showError(T(textRecordDeviceError) + QStringLiteral("!\n") + error);
        return;
    }
    saved_ = false;
    tempUsable_ = false;
    displayPos_ = 0;
    levels_->clear();
    status_->clear();
    if (capture_.fileFailed()) {
        // Recording goes on for the display, but nothing will be kept: the
        // old wav.tmp must not pass for this recording.
        showError(T(textFileCreateError) + QStringLiteral("!\n") + capture_.fileError());
        status_->setText(T(textTempFileFailed) + QStringLiteral(" (") + capture_.fileError() +
                         QLatin1Char(')'));
    }
    setButtons(true);
    setLampOn(true);
    lampTimer_.start();
    displayTimer_.start();
}

void TWaveRecorder::displayTick() {
    if (capture_.takeFilled() > 0) {
        displayPos_ = 0;
        time_->setText(
            TWaveCapture::counterText(capture_.samplesRecorded(), T(textMinutesF), T(textSec)));
    }
    const QByteArray& b = capture_.lastBuffer();
    const int total = int(b.size() / 2);
    if (total == 0)
        return;
    std::vector<int16_t> points;
    points.reserve(kDisplayPoints);
    const auto* s = reinterpret_cast<const int16_t*>(b.constData());
    for (int i = 0; i < kDisplayPoints; ++i)
        points.push_back(s[(displayPos_ + i) % total]);
    displayPos_ = (displayPos_ + kDisplayPoints) % total;
    display_->setSamples(std::move(points));
}

void TWaveRecorder::stop() {
    displayTimer_.stop();
    lampTimer_.stop();
    positionTimer_.stop();
    bar_->setValue(0);
    bar_->setEnabled(false);
    if (capture_.recording()) {
        capture_.stop();
        setLampOn(false);
        tempUsable_ = !capture_.fileFailed();
        if (capture_.fileFailed()) {
            status_->setText(T(textTempFileFailed) + QStringLiteral(" (") + capture_.fileError() +
                             QLatin1Char(')'));
        } else {
            const TMessageLevels levels = measureFileLevels(tempFile_);
            levels_->setText(levels.text());
            status_->setText(levels.warning());
            // The file holds the recording up to the failed write; say what
            // it lacks.
            if (capture_.unsavedBytes() > 0)
                status_->setText(T(textRecordingNotAllSaved)
                                     .arg((capture_.unsavedBytes() + kRecordBytesPerSecond - 1) /
                                          kRecordBytesPerSecond)
                                     .arg(capture_.fileError()));
        }
    } else {
        player_.CloseWave();
    }
    setButtons(false);
}

void TWaveRecorder::play() {
    if (player_.OpenWave(tempFile_) != 0 || !player_.Play()) {
        showError(player_.ErrorText());
        player_.CloseWave();
        return;
    }
    setButtons(true);
    bar_->setRange(0, int(player_.Duration()));
    bar_->setEnabled(true);
    positionTimer_.start();
}

void TWaveRecorder::positionTick() {
    if (player_.state() == TDVRWavePlayer::kPlay && !bar_->isSliderDown())
        bar_->setValue(int(player_.Position()));
    position_->setText(player_.PositionText());
    // A tenth of a second of what is heard.
    std::vector<int16_t> heard = player_.samplesAtPosition(int(player_.info().rate / 10));
    if (!heard.empty())
        display_->setSamples(std::move(heard));
    if (player_.state() == TDVRWavePlayer::kStop && player_.Position() >= player_.Duration())
        bar_->setValue(bar_->maximum());
}

QString TWaveRecorder::chooseFile() {
    QFileDialog dialog(this, windowTitle(), targetDir_);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(filter_.split(QStringLiteral(";;")));
    if (filter_.count(QStringLiteral(";;")) > 1)
        dialog.selectNameFilter(filter_.section(QStringLiteral(";;"), -1));
    dialog.setDefaultSuffix(QFileInfo(proposedName_).suffix().isEmpty()
                                ? QStringLiteral("wav")
                                : QFileInfo(proposedName_).suffix());
    if (!proposedName_.isEmpty())
        dialog.selectFile(proposedName_);
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
}

bool TWaveRecorder::save() {
    if (!tempUsable_) {
        showError(T(textTempFileFailed) + QLatin1Char('!'));
        return false;
    }
    const TMessageLevels levels = measureFileLevels(tempFile_);
    const QString warning = levels.warning();
    if (!warning.isEmpty() &&
        ShowMessageDialog(warning + QStringLiteral(".\n") + T(textSaveAnyway) + QLatin1Char('?'),
                          T(textWarning), mb::kYes | mb::kNo, kKindWarning) != mb::kResultYes)
        return false;
    const QString path = askFileName ? askFileName() : QString();
    if (path.isEmpty())
        return false;
    QString error;
    if (!copyOver(tempFile_, path, &error)) {
        showError(error);
        return false;
    }
    if (!engineAcceptsMessage(path)) {
        showError(T(textEngineRefusesMessage) + QLatin1Char('!'));
        return false;
    }
    saved_ = true;
    return true;
}

bool TWaveRecorder::confirmClose() {
    if (stop_->isEnabled())
        stop();
    if (!saved_ && ShowMessageDialog(T(textSaveRecordedData) + QLatin1Char('?'), T(textWarning),
                                     mb::kYes | mb::kNo, kKindWarning) == mb::kResultYes)
        save();
    return true;
}

void TWaveRecorder::closeEvent(QCloseEvent* event) {
    confirmClose();
    event->accept();
}

void RecordMessage(QWidget* parent, const QString& caption, const QString& targetDir,
                   const QString& proposedName) {
    TWaveRecorder recorder(caption, targetDir, proposedName, parent);
    recorder.exec();
}

}  // namespace orvel
