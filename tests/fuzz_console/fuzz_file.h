#pragma once
// Puts a fuzz input where the readers expect a file: one private directory
// per process, the same file name every time (readers choose their format
// by name, and some write beside what they read).

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>

namespace orvel::fuzz {

inline QTemporaryDir& workDir() {
    static QTemporaryDir dir;
    return dir;
}

// Writes the bytes to `name` inside the private directory and returns its
// path; an empty path when the file cannot be written.
inline QString writeInput(const QString& name, const uint8_t* data, size_t size) {
    const QString path = QDir(workDir().path()).filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return QString();
    f.write(reinterpret_cast<const char*>(data), qint64(size));
    return path;
}

}  // namespace orvel::fuzz
