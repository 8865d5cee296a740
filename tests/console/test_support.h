#pragma once
// Shared helpers of the console tests. Linking test_support.cpp points
// ORVEL_CONFIG_DIR at a temporary directory for the whole test binary, so no
// test ever reads or writes the user's own configuration.

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace orvel::test {

QByteArray readAll(const QString& path);
bool writeAll(const QString& path, const QByteArray& data);
// Bytes of a Windows-1251 text.
QByteArray cp(const QString& text);
// The project's data directory (shipped files).
QString shippedDataDir();
// Copies every file under `from` to the same place under `to`.
bool copyTree(const QString& from, const QString& to);

}  // namespace orvel::test

#include <ostream>
// Readable QString values in failure messages.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
