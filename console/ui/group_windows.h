#pragma once
// The windows "Сохранить группу" and "Загрузить группу": save the marked
// subscribers as a group, or mark the members of chosen groups; both can
// rename and delete group files.

#include <QDialog>
#include <functional>

class QLineEdit;
class QListWidget;
class QPushButton;

namespace orvel {

class TUserGroup;
class TUserList;

// Shared by both windows: the group files listed, rename and delete.
class TGroupWindowBase : public QDialog {
    Q_OBJECT
public:
    TGroupWindowBase(TUserGroup& groups, TUserList& users, const QString& objectName,
                     const QString& caption, bool checkable, QWidget* parent);
    void refresh();
    QListWidget* list() const { return list_; }
    // Asks for the new name (the "Новое имя" window); tests replace it.
    std::function<QString(const QString&)> askNewName;
    std::function<void()> onGroupsChanged;

    bool renameSelected();
    bool deleteSelected();

protected:
    QString selectedName() const;
    TUserGroup& groups_;
    TUserList& users_;
    QListWidget* list_;
    QPushButton* rename_;
    QPushButton* delete_;
    QPushButton* apply_;
    bool checkable_;
};

class TSaveAbonentsList : public TGroupWindowBase {
    Q_OBJECT
public:
    TSaveAbonentsList(TUserGroup& groups, TUserList& users, QWidget* parent = nullptr);
    QLineEdit* nameField() const { return name_; }
    // False when refused or not written (the window stays open).
    bool applySave();

protected:
    void showEvent(QShowEvent* event) override;

private:
    QLineEdit* name_;
};

class TLoadAbonentsList : public TGroupWindowBase {
    Q_OBJECT
public:
    TLoadAbonentsList(TUserGroup& groups, TUserList& users, QWidget* parent = nullptr);
    void applyLoad();
};

}  // namespace orvel
