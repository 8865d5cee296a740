#pragma once
// The message recorder: records a message from the sound input into
// "wav.tmp", shows the signal, plays the recording back with a position bar
// and saves it under a name the operator chooses. Modal; opened by the two
// message commands of the main window.

#include <QDialog>
#include <QTimer>
#include <functional>
#include <vector>

#include "media/dvr_wave_player.h"
#include "media/wave_capture.h"

class QLabel;
class QPushButton;
class QSlider;

namespace orvel {

// The waveform: a dark field, a yellow zero line and a green polyline.
class TWaveDisplay : public QWidget {
public:
    explicit TWaveDisplay(QWidget* parent = nullptr);
    void setSamples(std::vector<int16_t> samples);
    const std::vector<int16_t>& samples() const { return samples_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<int16_t> samples_;
};

class TWaveRecorder : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDisplayPoints = TWaveCapture::kBufferBytes / 2 / 10;  // 800

    TWaveRecorder(const QString& caption, const QString& targetDir, const QString& proposedName,
                  QWidget* parent = nullptr);
    ~TWaveRecorder() override;

    void startRecording();
    void stop();
    void play();
    // Asks for a name and copies the recording there. False when nothing
    // was saved.
    bool save();
    // Chooses the file to save to; the save dialog unless replaced (tests).
    std::function<QString()> askFileName;

    QString tempFile() const { return tempFile_; }
    QString saveFilter() const { return filter_; }
    bool saved() const { return saved_; }
    QPushButton* recordButton() const { return record_; }
    QPushButton* stopButton() const { return stop_; }
    QPushButton* playButton() const { return play_; }
    QPushButton* saveButton() const { return save_; }
    QSlider* positionBar() const { return bar_; }
    TWaveDisplay* display() const { return display_; }
    QLabel* statusLabel() const { return status_; }
    TDVRWavePlayer& player() { return player_; }

    // Escape closes as the close button does, with the closing question.
    void reject() override { close(); }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    bool confirmClose();
    void setLampOn(bool on);
    void setButtons(bool busy);
    void displayTick();
    void positionTick();
    QString chooseFile();

    QString targetDir_;
    QString proposedName_;
    QString tempFile_;
    QString filter_;
    TWaveCapture capture_;
    TDVRWavePlayer player_;
    bool saved_ = true;
    bool tempUsable_ = false;  // wav.tmp holds the last recording
    bool lampOn_ = false;
    int displayPos_ = 0;
    QTimer displayTimer_;
    QTimer lampTimer_;
    QTimer positionTimer_;
    QLabel* lamp_;
    QLabel* time_;
    QLabel* levels_;
    QLabel* status_;
    TWaveDisplay* display_;
    QSlider* bar_;
    QLabel* position_;
    QPushButton* record_;
    QPushButton* stop_;
    QPushButton* play_;
    QPushButton* save_;
    QPushButton* close_;
};

// Opens the recorder modally for a message in `targetDir`; `proposedName`
// may be empty.
void RecordMessage(QWidget* parent, const QString& caption, const QString& targetDir,
                   const QString& proposedName);

}  // namespace orvel
