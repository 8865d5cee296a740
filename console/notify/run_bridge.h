#pragma once
// Carries the run thread's reports to the user-interface thread: every
// report becomes a queued signal, so the run thread never waits for a window.

#include <QObject>
#include <QString>

#include "notify/notify_run.h"

namespace orvel {

class TRunBridge : public QObject, public IRunObserver {
    Q_OBJECT
public:
    explicit TRunBridge(QObject* parent = nullptr) : QObject(parent) {}

    void lineRowChanged(int line, const TLineRow& row) override {
        emit lineRow(line, row.status, row.panel, row.font, row.number, row.name,
                     row.controlsVisible);
    }
    void summaryChanged(const QString& text) override { emit summary(text); }
    void timeTextChanged(const QString& text) override { emit timeText(text); }
    void subscriberChanged(int index) override { emit subscriber(index); }
    void runEnded() override { emit ended(); }
    void engineFailure(int state) override { emit failure(state); }

signals:
    void lineRow(int line, const QString& status, uint panel, uint font, const QString& number,
                 const QString& name, bool controlsVisible);
    void summary(const QString& text);
    void timeText(const QString& text);
    void subscriber(int index);
    void ended();
    void failure(int state);
};

// The engine-failure text for a program state (two leading blanks).
QString engineFailureText(int state);

}  // namespace orvel
