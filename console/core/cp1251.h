#pragma once
// Windows-1251 is the 8-bit code page of every text file the program keeps
// (settings, language file, subscriber table, logs). Text is QString inside
// the program and converted only at the file boundary.

#include <QByteArray>
#include <QString>
#include <string_view>

namespace orvel::cp1251 {

// Characters that have no place in the code page become '?'.
QByteArray encode(const QString& text);
QString decode(std::string_view bytes);
inline QString decode(const QByteArray& bytes) {
    return decode(std::string_view(bytes.constData(), size_t(bytes.size())));
}
// Appends the code-page byte of one character.
char encodeChar(QChar c);
QChar decodeChar(unsigned char byte);

}  // namespace orvel::cp1251
