#pragma once
// Windows created at start whose contents arrive with later work: the group
// save and load windows and the input gain window. Each is its own class so that the creation order
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

class TSaveAbonentsList : public TShellWindow {
    Q_OBJECT
public:
    explicit TSaveAbonentsList(QWidget* parent = nullptr);
};

class TLoadAbonentsList : public TShellWindow {
    Q_OBJECT
public:
    explicit TLoadAbonentsList(QWidget* parent = nullptr);
};

class TAru : public TShellWindow {
    Q_OBJECT
public:
    explicit TAru(QWidget* parent = nullptr);
};

}  // namespace orvel
