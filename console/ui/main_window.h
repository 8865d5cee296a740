#pragma once

#include <QMainWindow>
#include <functional>

class QLabel;
class QSplitter;
class QTableView;

namespace orvel {

struct ProgramContext;
class UserListModel;

// The main window. Creating it performs the main-window set-up (placement,
// options, confirmation table, colours, the subscriber table); closing it
// runs the closing sequence.
class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    explicit TForm1(ProgramContext& context, QWidget* parent = nullptr);

    // Whether a notification run is in progress (the status window shows).
    std::function<bool()> runInProgress;
    std::function<void()> stopRun;

    QTableView* list() const { return list_; }
    void openStructureEditor();
    void refreshCounters();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void buildMenus();
    void saveState();

    ProgramContext& ctx_;
    UserListModel* model_;
    QSplitter* splitter_;
    QWidget* panel_;
    QTableView* list_;
    QLabel* counter_;
};

}  // namespace orvel
