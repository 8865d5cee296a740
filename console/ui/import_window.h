#pragma once
// "Импорт записей": choose a workbook or a delimited text file and append
// every row of it to the subscriber list as a new subscriber.

#include <QDialog>
#include <functional>

#include "data/subscriber_import.h"

class QCheckBox;
class QComboBox;
class QFormLayout;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTimer;
class QWidget;

namespace orvel {

class SettingsManager;
class TUserList;

class TImportForm : public QDialog {
    Q_OBJECT
public:
    TImportForm(TUserList& list, SettingsManager& settings, QWidget* parent = nullptr);

    // Asked before anything is appended: true while a notification run uses
    // the list.
    std::function<bool()> runInProgress;
    // Called after subscribers were appended: the main list reloads.
    std::function<void()> onImported;

    QLineEdit* fileEdit() const { return file_; }
    QComboBox* kindBox() const { return kind_; }
    QComboBox* separatorBox() const { return separator_; }
    QCheckBox* repeatedBox() const { return repeated_; }
    QPushButton* applyButton() const { return apply_; }
    QListWidget* fieldList() const { return fields_; }
    QWidget* separatorPanel() const { return separatorPanel_; }

    // The window's choices as the import takes them.
    ImportOptions options() const;
    // "Применить".
    void apply();

protected:
    void done(int result) override;

private:
    void fillFieldList();
    void browse();
    void updateState();

    TUserList& list_;
    SettingsManager& settings_;
    QListWidget* fields_;
    QLineEdit* file_;
    QComboBox* kind_;
    QFormLayout* form_;
    QWidget* separatorPanel_;
    QComboBox* separator_;
    QCheckBox* repeated_;
    QPushButton* apply_;
    QPushButton* cancel_;
    QTimer* watch_;
};

// The file box's filters, in their order.
QStringList importFilters();

}  // namespace orvel
