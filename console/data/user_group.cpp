#include "data/user_group.h"

#include <QAbstractEventDispatcher>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "core/safe_file.h"
#include "data/user_list.h"

namespace orvel {

bool isGroupNameAllowed(const QString& name) {
    const QString n = name.trimmed();
    return !n.isEmpty() && !n.contains(QLatin1Char('/')) && !n.contains(QLatin1Char('\\')) &&
           n != QLatin1String(".") && n != QLatin1String("..") && !n.contains(QChar(0));
}

QString groupFileName(const QString& name) {
    const QFileInfo fi(name);
    const QString suffix = fi.suffix();
    QString base = name;
    if (!suffix.isEmpty())
        base.chop(suffix.size() + 1);
    return base + QStringLiteral(".lst");
}

QList<int> readGroupIds(const QString& path) {
    QList<int> ids;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return ids;
    while (!f.atEnd()) {
        bool ok = false;
        const int id = f.readLine(64).trimmed().toInt(&ok);
        if (ok)
            ids << id;
    }
    return ids;
}

bool writeGroupIds(const QString& path, const QList<int>& ids) {
    QByteArray bytes;
    for (int id : ids)
        bytes += QByteArray::number(id) + "\r\n";
    return writeFileSafely(path, bytes);
}

TUserGroup::TUserGroup() {
    groups_ << QString();
    if (!QAbstractEventDispatcher::instance())
        return;
    watcher_ = std::make_unique<QFileSystemWatcher>();
    connect(watcher_.get(), &QFileSystemWatcher::directoryChanged, this, [this] {
        RescanGroups();
        if (onChange)
            onChange();
    });
}

void TUserGroup::SetGroupDirectory(const QString& dir) {
    QString d = dir;
    while (d.size() > 1 && (d.endsWith(QLatin1Char('/')) || d.endsWith(QLatin1Char('\\'))))
        d.chop(1);
    if (d.isEmpty() || !QFileInfo(d).isDir())
        return;
    if (watcher_ && !dir_.isEmpty())
        watcher_->removePath(dir_);
    dir_ = d;
    RescanGroups();
    if (watcher_)
        watcher_->addPath(dir_);
}

void TUserGroup::RescanGroups() {
    groups_ = QStringList{QString()};
    if (dir_.isEmpty())
        return;
    const QStringList files = QDir(dir_).entryList(QDir::Files, QDir::Name | QDir::IgnoreCase);
    for (const QString& f : files)
        if (f.endsWith(QLatin1String(".lst"), Qt::CaseInsensitive))
            groups_ << f.left(f.size() - 4);
}

QString TUserGroup::groupPath(const QString& name) const {
    return dir_ + QLatin1Char('/') + groupFileName(name);
}

bool TUserGroup::AddToGroup(const QString& name, int id) {
    if (dir_.isEmpty() || !isGroupNameAllowed(name))
        return false;
    QList<int> ids = readGroupIds(groupPath(name));
    ids << id;
    return writeGroupIds(groupPath(name), ids);
}

void TUserGroup::RemoveFromGroup(const QString& name, int id) {
    if (dir_.isEmpty() || !isGroupNameAllowed(name))
        return;
    const QString path = groupPath(name);
    if (!QFileInfo::exists(path))
        return;
    QList<int> ids = readGroupIds(path);
    ids.removeOne(id);
    if (ids.isEmpty())
        QFile::remove(path);
    else
        writeGroupIds(path, ids);
}

void TUserGroup::RemoveFromAllGroups(int id) {
    if (updating_ == 0)
        RescanGroups();
    for (const QString& g : QStringList(groups_))
        if (!g.isEmpty())
            RemoveFromGroup(g, id);
}

QString TUserGroup::FindGroupOf(int id) const {
    for (const QString& g : groups_)
        if (!g.isEmpty() && readGroupIds(groupPath(g)).contains(id))
            return g;
    return QString();
}

bool TUserGroup::SaveGroup(const QString& name, const TUserList& list) {
    if (dir_.isEmpty() || !isGroupNameAllowed(name))
        return false;
    QList<int> ids;
    for (int k = 0; k < list.Count(); ++k)
        if (list.Item(k)->mark)
            ids << list.Item(k)->id;
    return writeGroupIds(groupPath(name), ids);
}

QStringList TUserGroup::LoadGroups(const QStringList& names, TUserList& list, bool clearFirst) {
    QStringList refused;
    if (clearFirst)
        for (int k = 0; k < list.Count(); ++k)
            list.Item(k)->mark = 0;
    QSet<int> members;
    for (const QString& name : names) {
        if (!isGroupNameAllowed(name)) {
            refused << name;
            continue;
        }
        for (int id : readGroupIds(groupPath(name)))
            members.insert(id);
    }
    for (int k = 0; k < list.Count(); ++k)
        if (members.contains(list.Item(k)->id))
            list.Item(k)->mark = 1;
    return refused;
}

}  // namespace orvel
