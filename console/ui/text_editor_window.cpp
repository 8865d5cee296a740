#include "ui/text_editor_window.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QSplitter>
#include <QTextEdit>
#include <QVBoxLayout>

#include "core/texts.h"
#include "media/message_check.h"
#include "media/message_levels.h"
#include "media/record_file.h"
#include "media/rtf_text.h"
#include "ui/message_dialog.h"

namespace orvel {

namespace {

const QString kRtfFilter = QStringLiteral("Rich Text Format (*.rtf)");

void showError(const QString& text) {
    ShowMessageDialog(text, T(textError), mb::kOk, kKindError);
}

QString attributeText(TextId name, const QString& value) {
    return QStringLiteral("  ") + T(name) + QStringLiteral(": ") + value;
}

}  // namespace

TTextEditor::TTextEditor(const QString& textDirectory, QWidget* parent)
    : QDialog(parent), textDirectory_(textDirectory) {
    setObjectName(QStringLiteral("fTextEditor"));
    setWindowTitle(T(textSyntezFromText));

    editor_ = new QTextEdit(this);
    editor_->setAcceptRichText(true);
    editor_->setMinimumSize(100, 100);
    editor_->setPlainText(T(textTestMessage));

    auto* panel = new QWidget(this);
    panel->setMinimumWidth(200);
    voices_ = new QComboBox(panel);
    speed_ = new QSlider(Qt::Horizontal, panel);
    speed_->setRange(TSpeechSynth::kMinRate, TSpeechSynth::kMaxRate);
    speed_->setValue(0);
    speed_->setTickPosition(QSlider::TicksBelow);
    volume_ = new QSlider(Qt::Horizontal, panel);
    volume_->setRange(0, 100);
    volume_->setValue(kInitialVolume);
    volume_->setTickPosition(QSlider::TicksBelow);
    volume_->setTickInterval(10);
    auto* panelLayout = new QVBoxLayout(panel);
    panelLayout->addWidget(voices_);
    panelLayout->addWidget(new QLabel(T(textSpeed) + QLatin1Char(':'), panel));
    panelLayout->addWidget(speed_);
    panelLayout->addWidget(new QLabel(T(textVolume), panel));
    panelLayout->addWidget(volume_);
    for (QLabel*& a : attributes_) {
        a = new QLabel(QStringLiteral("..."), panel);
        panelLayout->addWidget(a);
    }
    levels_ = new QLabel(panel);
    levels_->setWordWrap(true);
    panelLayout->addWidget(levels_);
    panelLayout->addStretch();

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->addWidget(editor_);
    splitter->addWidget(panel);
    splitter->setStretchFactor(0, 1);
    splitter->setChildrenCollapsible(false);

    load_ = new QPushButton(T(textLoad) + QStringLiteral("..."), this);
    save_ = new QPushButton(T(textSaveAs) + QStringLiteral("..."), this);
    settings_ = new QPushButton(T(textSettings) + QStringLiteral("..."), this);
    settings_->hide();  // the synthesiser has nothing to set beyond the panel
    listen_ = new QPushButton(T(textListen), this);
    record_ = new QPushButton(T(textRecordSound), this);
    close_ = new QPushButton(T(textClose), this);
    close_->setDefault(true);
    auto* bar = new QHBoxLayout;
    for (QPushButton* b : {load_, save_, settings_, listen_, record_})
        bar->addWidget(b);
    bar->addStretch();
    bar->addWidget(close_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(splitter, 1);
    layout->addLayout(bar);
    setMinimumWidth(653);
    resize(760, 420);

    soundFilter_ = QStringLiteral("Звуковые файлы (*.wav)");
    QString error;
    voiceList_ = TSpeechSynth::voices(&error);
    for (const TVoiceInfo& v : voiceList_)
        voices_->addItem(v.description());
    if (!error.isEmpty())
        showError(error);
    if (!voiceList_.isEmpty()) {
        // The messages are Russian: its voice comes first to hand.
        const int ru = TSpeechSynth::russianVoice(voiceList_);
        voices_->setCurrentIndex(ru);
        selectVoice(ru);
        soundFilter_ = T(textSoundMessage) + QStringLiteral(" (*.wav)");
    }

    connect(voices_, &QComboBox::activated, this, [this](int i) { selectVoice(i); });
    connect(load_, &QPushButton::clicked, this, [this] {
        const QString path =
            QFileDialog::getOpenFileName(this, load_->text(), textDirectory_, kRtfFilter);
        if (!path.isEmpty())
            loadText(path);
    });
    connect(save_, &QPushButton::clicked, this, [this] {
        QFileDialog dialog(this, save_->text(), textDirectory_, kRtfFilter);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(QStringLiteral("rtf"));
        if (dialog.exec() == QDialog::Accepted)
            saveText(dialog.selectedFiles().value(0));
    });
    connect(listen_, &QPushButton::clicked, this, [this] { listen(); });
    connect(record_, &QPushButton::clicked, this, [this] { recordSound(); });
    connect(close_, &QPushButton::clicked, this, &QDialog::accept);
    askSoundFile = [this] {
        QFileDialog dialog(this, record_->text(), QString(), soundFilter_);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(QStringLiteral("wav"));
        return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
    };
}

void TTextEditor::selectVoice(int index) {
    if (index < 0 || index >= voiceList_.size())
        return;
    const TVoiceInfo& v = voiceList_[index];
    attributes_[0]->setText(attributeText(textVoiceVendor, v.vendor));
    attributes_[1]->setText(attributeText(textVoiceLanguage, v.language));
    attributes_[2]->setText(attributeText(textVoiceGender, v.gender));
    attributes_[3]->setText(attributeText(textVoiceAge, v.age));
    attributes_[4]->setText(attributeText(textVoiceName, v.name));
}

TSpeechParams TTextEditor::params() const {
    TSpeechParams p;
    const int i = voices_->currentIndex();
    if (i >= 0 && i < voiceList_.size())
        p.voice = voiceList_[i].identifier;
    p.rate = speed_->value();
    p.volume = volume_->value();
    return p;
}

QString TTextEditor::plainText() const {
    return editor_->toPlainText();
}

bool TTextEditor::loadText(const QString& path) {
    QString error;
    const auto text = loadRtfFile(path, &error);
    if (!text) {
        showError(QStringLiteral("Невозможно открыть файл!\n") + QFileInfo(path).fileName() +
                  QStringLiteral(": ") + error);
        return false;
    }
    editor_->setPlainText(*text);
    return true;
}

bool TTextEditor::saveText(const QString& path) {
    QString error;
    if (!saveRtfFile(path, plainText(), &error)) {
        showError(QStringLiteral("Ошибка записи файла!\n") + error);
        return false;
    }
    return true;
}

void TTextEditor::listen() {
    const QString text = plainText();
    if (text.trimmed().isEmpty())
        return;
    QString error;
    if (!output_.speak(text, params(), &error))
        showError(error);
}

bool TTextEditor::recordSound() {
    const QString text = plainText();
    if (text.trimmed().isEmpty()) {
        ShowMessageDialog(T(textNeedToEnterMessage) + QLatin1Char('!'), T(textWarning), mb::kOk,
                          kKindWarning);
        return false;
    }
    const QString path = askSoundFile ? askSoundFile() : QString();
    if (path.isEmpty())
        return false;
    QString error;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const auto samples = TSpeechSynth::render(text, params(), &error);
    QApplication::restoreOverrideCursor();
    if (!samples) {
        showError(error);
        return false;
    }
    const TMessageLevels levels = measureLevels(samples->data(), samples->size());
    levels_->setText(levels.text());
    const QString warning = levels.warning();
    if (!warning.isEmpty() &&
        ShowMessageDialog(warning + QStringLiteral(".\n") + T(textSaveAnyway) + QLatin1Char('?'),
                          T(textWarning), mb::kYes | mb::kNo, kKindWarning) != mb::kResultYes)
        return false;
    if (!saveMessageWav(path, *samples, &error)) {
        showError(QStringLiteral("Ошибка записи файла!\n") + error);
        return false;
    }
    if (!engineAcceptsMessage(path)) {
        showError(T(textEngineRefusesMessage) + QLatin1Char('!'));
        return false;
    }
    return true;
}

void SynthesizeMessage(QWidget* parent, const QString& textDirectory) {
    TTextEditor editor(textDirectory, parent);
    editor.exec();
}

}  // namespace orvel
