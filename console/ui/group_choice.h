#pragma once
// The group selection window: the group files of the group directory as a
// check list; the checked names are the choice.

#include <QDialog>
#include <QStringList>

class QListWidget;

namespace orvel {

class TUserGroup;

class TGroupChoice : public QDialog {
    Q_OBJECT
public:
    // `checked`: the names ticked when the window opens.
    TGroupChoice(TUserGroup& groups, const QStringList& checked, QWidget* parent = nullptr);
    QStringList checkedNames() const;
    QListWidget* list() const { return list_; }

private:
    QListWidget* list_;
};

// Shows the window; the checked names on OK, `current` otherwise.
QStringList chooseGroups(TUserGroup& groups, const QStringList& current, QWidget* parent);

}  // namespace orvel
