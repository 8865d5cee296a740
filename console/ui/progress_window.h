#pragma once
// The progress window of long operations (see ProgressSequence for when it
// shows): a small window with a gauge, the text as its caption.

#include <QDialog>

class QProgressBar;

namespace orvel {

class TProgressWindow : public QDialog {
    Q_OBJECT
public:
    explicit TProgressWindow(QWidget* parent = nullptr);
    void set(int position, int maximum, const QString& text);
    QProgressBar* gauge() const { return gauge_; }

private:
    QProgressBar* gauge_;
};

// Position below maximum: the sequence goes on; otherwise (for example
// 0, 0 and no text) it ends and the window is destroyed.
void ShowProgress(int position, int maximum, const QString& text = QString());
// The window while it is shown (tests).
TProgressWindow* currentProgressWindow();

}  // namespace orvel
