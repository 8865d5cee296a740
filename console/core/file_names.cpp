#include "core/file_names.h"

#include <QDir>
#include <QFileInfo>

namespace orvel {

QString findFileNoCase(const QString& dir, const QString& name) {
    const QString exact = dir.isEmpty() ? name : dir + QLatin1Char('/') + name;
    if (QFileInfo::exists(exact))
        return exact;
    const QDir d(dir.isEmpty() ? QStringLiteral(".") : dir);
    const QStringList entries =
        d.entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    for (const QString& e : entries) {
        if (e.compare(name, Qt::CaseInsensitive) == 0) {
            return dir.isEmpty() ? e : dir + QLatin1Char('/') + e;
        }
    }
    return exact;
}

QString withoutTrailingDelimiter(QString path) {
    while (path.size() > 1 &&
           (path.endsWith(QLatin1Char('/')) || path.endsWith(QLatin1Char('\\')))) {
        path.chop(1);
    }
    return path;
}

}  // namespace orvel
