#pragma once
// The page "Способ подтверждения": the default method and the table of
// number patterns, bound to the widget-free editor that holds the working
// copy until "OK".

#include <QWidget>

#include "core/confirm_editor.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace orvel {

class TConfirmPage : public QWidget {
    Q_OBJECT
public:
    explicit TConfirmPage(QWidget* parent = nullptr);

    void load(const TConfirmMethodManager& manager);
    TConfirmMethodEditor& editor() { return editor_; }

    QComboBox* defaultChoice() const { return default_; }
    QLineEdit* patternEdit() const { return pattern_; }
    QComboBox* methodChoice() const { return method_; }
    QTreeWidget* table() const { return table_; }
    QPushButton* addButton() const { return add_; }
    QPushButton* changeButton() const { return change_; }
    QPushButton* deleteButton() const { return delete_; }
    QPushButton* upButton() const { return up_; }
    QPushButton* downButton() const { return down_; }

    void addEntry();
    void changeEntries();
    void deleteEntries();
    void moveUp();
    void moveDown();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QList<int> selectedRows() const;
    void fillTable(const QList<int>& select = {});
    void updateButtons();
    void onSelection();

    TConfirmMethodEditor editor_;
    QComboBox* default_;
    QLineEdit* pattern_;
    QComboBox* method_;
    QTreeWidget* table_;
    QPushButton* add_;
    QPushButton* change_;
    QPushButton* delete_;
    QPushButton* up_;
    QPushButton* down_;
};

}  // namespace orvel
