#pragma once
// The program's one message dialog: message in the middle, a picture for the
// kind of message on the left, a row of buttons at the bottom.

#include <QDialog>
#include <QList>

#include "core/message_kinds.h"

class QLabel;
class QPushButton;

namespace orvel {

class TRPDialog : public QDialog {
    Q_OBJECT
public:
    explicit TRPDialog(QWidget* parent = nullptr);
    void setup(const QString& text, const QString& caption, uint16_t buttons, uint8_t kind);

    QLabel* message() const { return message_; }
    const QList<QPushButton*>& buttons() const { return buttons_; }
    QColor messageColour() const;

private:
    QLabel* picture_;
    QLabel* message_;
    QWidget* panel_;
    QList<QPushButton*> buttons_;
};

// Shows the dialog modally and returns the pressed button's result: 2
// (Cancel) when closed with Escape or the close box, 0 when a dialog is
// already showing. With ORVEL_DIALOG_ANSWER set (unattended runs and tests)
// the dialog is not shown: its caption and text go to the standard error and
// that result is returned when its button is offered, else the first
// button's.
int ShowMessageDialog(const QString& text, const QString& caption, uint16_t buttons, uint8_t kind);

class WidgetMessageDialog final : public IMessageDialog {
public:
    int show(const QString& text, const QString& caption, uint16_t buttons, uint8_t kind) override {
        return ShowMessageDialog(text, caption, buttons, kind);
    }
};

}  // namespace orvel
