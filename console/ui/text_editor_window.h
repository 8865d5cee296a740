#pragma once
// "Синтез сообщения из текста": a text editor for the message text and a
// voice panel. The text loads from and saves to rich-text files, is spoken
// aloud in the background, and is rendered into a message file.

#include <QDialog>
#include <QList>
#include <functional>

#include "media/speech_synth.h"

class QComboBox;
class QLabel;
class QPushButton;
class QSlider;
class QTextEdit;

namespace orvel {

class TTextEditor : public QDialog {
    Q_OBJECT
public:
    static constexpr int kInitialVolume = 50;

    TTextEditor(const QString& textDirectory, QWidget* parent = nullptr);

    bool loadText(const QString& path);
    bool saveText(const QString& path);
    void listen();
    // Renders the text into the file that askSoundFile names. True when a
    // message file was written.
    bool recordSound();
    // Chooses the sound file; the save dialog unless replaced (tests).
    std::function<QString()> askSoundFile;

    void selectVoice(int index);
    TSpeechParams params() const;
    QString plainText() const;
    QTextEdit* editor() const { return editor_; }
    QComboBox* voiceBox() const { return voices_; }
    QSlider* speedBar() const { return speed_; }
    QSlider* volumeBar() const { return volume_; }
    QLabel* attribute(int i) const { return attributes_[i]; }
    QLabel* levels() const { return levels_; }

private:
    QString textDirectory_;
    QString soundFilter_;
    QList<TVoiceInfo> voiceList_;
    TSpeechOutput output_;
    QTextEdit* editor_;
    QComboBox* voices_;
    QSlider* speed_;
    QSlider* volume_;
    QLabel* attributes_[5];
    QLabel* levels_;
    QPushButton* load_;
    QPushButton* save_;
    QPushButton* settings_;
    QPushButton* listen_;
    QPushButton* record_;
    QPushButton* close_;
};

void SynthesizeMessage(QWidget* parent, const QString& textDirectory);

}  // namespace orvel
