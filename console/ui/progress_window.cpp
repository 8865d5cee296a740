#include "ui/progress_window.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QProgressBar>
#include <QVBoxLayout>

#include "core/progress_sequence.h"

namespace orvel {
namespace {

struct ProgressState {
    ProgressSequence sequence;
    QElapsedTimer clock;
    QPointer<TProgressWindow> window;
};

ProgressState& state() {
    static ProgressState s;
    return s;
}

}  // namespace

TProgressWindow::TProgressWindow(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("ProgressWindow"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowFlag(Qt::WindowCloseButtonHint, false);
    gauge_ = new QProgressBar(this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(gauge_);
    setFixedSize(360, 60);
}

void TProgressWindow::set(int position, int maximum, const QString& text) {
    gauge_->setRange(0, maximum);
    gauge_->setValue(position);
    setWindowTitle(text);
}

void ShowProgress(int position, int maximum, const QString& text) {
    ProgressState& s = state();
    if (!s.clock.isValid())
        s.clock.start();
    using A = ProgressSequence::Action;
    switch (s.sequence.update(position, maximum, s.clock.elapsed())) {
        case A::Show:
            s.window = new TProgressWindow(QApplication::activeWindow());
            s.window->set(position, maximum, text);
            s.window->show();
            break;
        case A::Update:
            if (s.window)
                s.window->set(position, maximum, text);
            break;
        case A::Close:
            delete s.window.data();
            break;
        case A::None:
            return;
    }
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

TProgressWindow* currentProgressWindow() {
    return state().window.data();
}

}  // namespace orvel
