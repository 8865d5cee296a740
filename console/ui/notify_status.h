#pragma once
// The run status window: one row per line with its state, number and
// subscriber, the summary, time and error lines, listening, volume and the
// stop buttons. Closing it ends the run (the closing hook does the work).

#include <QDialog>
#include <QList>
#include <functional>

class QLabel;
class QPushButton;
class QSlider;

namespace orvel {

class ILineLibrary;
class TORVLines;

class TNotifyStatus : public QDialog {
    Q_OBJECT
public:
    TNotifyStatus(TORVLines& lines, ILineLibrary& lib, QWidget* parent = nullptr);

    // One row per line object; called once the line list exists.
    void buildRows();
    int rowCount() const { return int(rows_.size()); }

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
    QLabel* statusPanel(int line) const;
    QLabel* summaryLabel() const { return summary_; }
    QSlider* volume() const { return volume_; }
    int volumeLevel() const { return volumeLevel_; }

public slots:
    void setLineRow(int line, const QString& status, uint panel, uint font, const QString& number,
                    const QString& name, bool controlsVisible);
    void setSummary(const QString& text);
    void setTimeText(const QString& text);
    void setErrorText(const QString& text);
    void stopPressed();
    void saveAndStopPressed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    QWidget* gainWindow_ = nullptr;
    struct Row {
        QLabel* status;
        QLabel* number;
        QLabel* name;
        QPushButton* listen;
    };
    void listenToggled(int line, bool on);

    TORVLines& lines_;
    ILineLibrary& lib_;
    QWidget* rowsBox_;
    QList<Row> rows_;
    QLabel* summary_;
    QLabel* time_;
    QLabel* error_;
    QSlider* volume_;
    int volumeLevel_ = 32767;
    bool operatorStop_ = false;
    bool closing_ = false;
};

}  // namespace orvel
