#pragma once

#include <QMainWindow>
#include <QStringList>
#include <functional>
#include <mutex>

#include "data/record_edit.h"

class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QPushButton;
class QSplitter;
class QTableView;

namespace orvel {

struct ProgramContext;
class ILineLibrary;
class TUserGroup;
class TfrRecordInterface;
class TFindUser;
class UserListModel;

// The main window: the subscriber list with its group filter, the record
// editor and its commands, the group, search and result commands and the
// menus. Creating it performs the main-window set-up (placement, options,
// confirmation table, colours, the subscriber table); closing it runs the
// closing sequence.
class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    explicit TForm1(ProgramContext& context, QWidget* parent = nullptr);
    ~TForm1() override;

    // Whether a notification run is in progress (the status window shows).
    std::function<bool()> runInProgress;
    std::function<void()> stopRun;
    // The start button and the scheme editor menu entry.
    std::function<void()> onStart;
    std::function<void()> onSchemeEditor;
    std::function<void()> onSaveGroup;
    std::function<void()> onLoadGroup;

    // Idle: every command available; run mode: the list cannot change (no
    // editing, import, deletion, sorting, filtering, marking).
    void setIdle(bool idle, std::mutex* fields = nullptr);
    bool idle() const { return idle_; }
    // Without a working line library no run can start; `reason` says why.
    void hideStart(const QString& reason = QString());
    // The group object, for the filter box, the editor's group box and
    // deletion; the line library and the lines it does not serve, for the
    // device information window; the number of lines, for the editor.
    void setGroups(TUserGroup* groups);
    void setLineLibrary(ILineLibrary* library, const QStringList& unservedLines);
    void setLineCount(int count);
    // The attempt count from which a marked subscriber shows as failed.
    void setMaxCalls(int count);

    void refreshList();
    UserListModel* model() const { return model_; }
    QTableView* list() const { return list_; }
    TfrRecordInterface* recordPanel() const { return record_; }
    QComboBox* groupFilter() const { return filter_; }
    void openStructureEditor();
    void refreshCounters();

    // The commands, as the buttons and menus run them.
    void newRecord();
    void duplicateRecord();
    void changeRecord();
    void cancelEdit();
    // False when the edit stays open (duplicate, refused question, error).
    bool applyEdit();
    void deleteRecords();
    void selectAll();
    void setMarks(bool marked);
    void toggleMark(int row);
    void sortByColumn(int column);
    void groupSelected();
    void arrangeColumns();
    void removeDuplicates();
    void openNumbersChange();
    void openFind();
    void openResult();
    void openManual();
    void openDeviceInfo();
    void openAbout();
    // Rows selected in the list, ascending.
    QList<int> selectedRows() const;
    // Shows the row as the only selected and focused one.
    void selectOnly(int row);

    QString allCountText() const;
    QString sortText() const;
    QString selectedCountText() const;
    // Named commands, for tests and the rights (by object name).
    QAction* action(const QString& name) const;
    QPushButton* button(const QString& name) const;
    TFindUser* findWindow();
    // Pictures of the desk for the documentation: the record editor in its
    // three modes, the search, number replacement, device information and
    // about windows.
    void saveDeskScreenshots(const QString& dir);

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildPanels();
    void buildMenus();
    void buildPopup();
    void saveState();
    void updateCommands();
    void onSelectionChanged();
    void refillGroupFilter();
    void applyGroupFilter(int entry);
    void fitColumns();
    void applyColumnsToEditor();
    bool mayChangeList() const;
    bool askConfirmation(const QString& text, const QString& caption);
    QAction* addCommand(QMenu* menu, const QString& name, const QString& text,
                        const std::function<void()>& run);
    QPushButton* addButton(const QString& name, const QString& text,
                           const std::function<void()>& run);

    ProgramContext& ctx_;
    UserListModel* model_;
    QSplitter* splitter_;
    QWidget* rightPanel_;
    QTableView* list_;
    QComboBox* filter_;
    QLabel* allCount_;
    QLabel* sortLabel_;
    QLabel* selectedCount_;
    QLabel* noRunReason_;
    TfrRecordInterface* record_;
    QMenu* popup_ = nullptr;
    QPushButton* start_ = nullptr;
    QList<QMenu*> menus_;
    QAction* userAction_ = nullptr;
    TUserGroup* groups_ = nullptr;
    ILineLibrary* library_ = nullptr;
    QStringList unserved_;
    TFindUser* find_ = nullptr;
    bool idle_ = true;
    bool libraryReady_ = true;
    int editKind_ = 0;  // 0 none, 1 new or duplicate, 2 change
    QList<int> editRows_;
    QList<int> arrows_;  // per column: -1 none, else the arrow image 0 or 1
    QString sortCaption_;
};

}  // namespace orvel
