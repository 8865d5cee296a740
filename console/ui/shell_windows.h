#pragma once
// A window created at start whose contents arrive with later work: the
// input gain window. Each is its own class so that the creation order
// and the names stay as the program expects.

#include <QDialog>

namespace orvel {

class TShellWindow : public QDialog {
    Q_OBJECT
public:
    TShellWindow(const QString& objectName, const QString& caption, QWidget* parent);

protected:
    void showEvent(QShowEvent* event) override;
};

}  // namespace orvel
