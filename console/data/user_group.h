#pragma once
// Subscriber groups: one ".lst" file per group in the group directory, one
// subscriber ID per line. The directory is watched so that group files made,
// removed or renamed by anyone show up at once.

#include <QFileSystemWatcher>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

namespace orvel {

class TUserList;

// A name usable as a group: not empty, no path separator.
bool isGroupNameAllowed(const QString& name);
// The group name with its extension replaced by ".lst".
QString groupFileName(const QString& name);
// The IDs of a group file (missing file: none). Lines that are not integers
// are skipped.
QList<int> readGroupIds(const QString& path);
// Written aside then renamed; false on a file error.
bool writeGroupIds(const QString& path, const QList<int>& ids);

class TUserGroup : public QObject {
    Q_OBJECT
public:
    TUserGroup();

    // Ignored when the directory does not exist.
    void SetGroupDirectory(const QString& dir);
    const QString& directory() const { return dir_; }
    void RescanGroups();
    // The empty name first, then the group names sorted.
    const QStringList& groups() const { return groups_; }
    QString groupPath(const QString& name) const;

    bool AddToGroup(const QString& name, int id);
    void RemoveFromGroup(const QString& name, int id);
    void RemoveFromAllGroups(int id);
    QString FindGroupOf(int id) const;
    void BeginUpdate() { ++updating_; }
    void EndUpdate() { updating_ = qMax(0, updating_ - 1); }

    // Saves the marked subscribers of the list as the group; false for a
    // refused name or a file error.
    bool SaveGroup(const QString& name, const TUserList& list);
    // Clears every mark, then marks the members of the groups; the names of
    // groups that could not be used are returned.
    QStringList LoadGroups(const QStringList& names, TUserList& list, bool clearFirst = true);

    std::function<void()> onChange;

private:
    QString dir_;
    QStringList groups_;
    int updating_ = 0;
    // Made only on a thread with an event loop, the only kind that delivers
    // its changes: on others (the headless runner's session) Qt would warn
    // on standard error at every start.
    std::unique_ptr<QFileSystemWatcher> watcher_;
};

}  // namespace orvel
