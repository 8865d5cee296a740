#pragma once

#include <QMainWindow>
#include <functional>
#include <mutex>

class QAction;
class QLabel;
class QMenu;
class QPushButton;
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
    // The start button and the scheme editor menu entry.
    std::function<void()> onStart;
    std::function<void()> onSchemeEditor;
    std::function<void()> onSaveGroup;
    std::function<void()> onLoadGroup;

    // Idle: every command available; run mode: the start button and the
    // table and message menus disabled, the marks locked.
    void setIdle(bool idle, std::mutex* fields = nullptr);
    // Without a working line library no run can start.
    void hideStart();
    void refreshList();
    UserListModel* model() const { return model_; }
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
    QPushButton* start_;
    QList<QMenu*> runLocked_;
    QAction* schemeAction_ = nullptr;
    QAction* deviceInfo_ = nullptr;
};

}  // namespace orvel
