#pragma once
// The run status window: one row per line with its state, number and
// subscriber, the summary, time and error lines, listening, volume and the
// stop buttons. Closing it ends the run (the closing hook does the work).

#include <QDialog>
#include <functional>
#include <memory>

class QLabel;
class QPushButton;
class QSlider;

namespace orvel {

class ILineLibrary;
class IOutputVolume;
class TLineRowsView;
class TORVLines;
struct TLineRowView;

class TNotifyStatus : public QDialog {
    Q_OBJECT
public:
    TNotifyStatus(TORVLines& lines, ILineLibrary& lib, QWidget* parent = nullptr);
    ~TNotifyStatus() override;

    // One row per line object; called once the line list exists. The
    // window is then sized to show every row, as far as the screen allows.
    void buildRows();
    int rowCount() const;
    // The sound output the volume bar drives (the ALSA mixer unless a test
    // gives another); the bar is hidden when it is not available.
    void setOutputVolume(std::unique_ptr<IOutputVolume> volume);

    bool operatorStop() const { return operatorStop_; }
    void setOperatorStop(bool v) { operatorStop_ = v; }

    // The stop: StopRun (operator's stop flag set before).
    std::function<void()> onStopRun;
    // Writes the state dump to the chosen file (empty: none chosen).
    std::function<void(const QString&)> onSaveDump;
    // Proposes a dump file and lets the operator confirm it; empty: none.
    std::function<QString()> chooseDumpFile;
    // Steps of the closing after listening has ended: release, results,
    // stop, clearing.
    std::function<void()> onClosing;
    std::function<void()> onGain;
    // The input gain window, closed with this window (the run has ended).
    void setGainWindow(QWidget* window) { gainWindow_ = window; }

    // Test access.
    QPushButton* listenButton(int line) const;
    const TLineRowView* rowView(int line) const;
    TLineRowsView* rows() const { return rows_; }
    QLabel* summaryLabel() const { return summary_; }
    QLabel* planLabel() const { return plan_; }
    QSlider* volume() const { return volume_; }
    int volumeLevel() const { return volumeLevel_; }

public slots:
    void setLineRow(int line, const QString& status, uint panel, uint font, const QString& number,
                    const QString& name, bool controlsVisible);
    void setSummary(const QString& text);
    void setTimeText(const QString& text);
    void setErrorText(const QString& text);
    // The estimate of the time the run still needs (empty: none).
    void setPlanText(const QString& text);
    void stopPressed();
    void saveAndStopPressed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    QWidget* gainWindow_ = nullptr;
    void listenToggled(int line, bool on);
    void setListenFont(QPushButton* button, bool bold);
    void volumeMoved(int position);

    TORVLines& lines_;
    ILineLibrary& lib_;
    TLineRowsView* rows_;
    std::unique_ptr<IOutputVolume> output_;
    QWidget* volumeBox_;
    QLabel* summary_;
    QLabel* time_;
    QLabel* plan_;
    QLabel* error_;
    QSlider* volume_;
    int volumeLevel_ = 32767;
    bool operatorStop_ = false;
    bool closing_ = false;
};

}  // namespace orvel
