#pragma once
// Message texts as rich-text files: a small writer and a reader of their
// plain text. The writer stores Windows-1251 bytes as \'hh and everything
// else as \uN. The reader keeps only the text: formatting, font and colour
// tables, pictures and other destinations are skipped; \par, \line and \tab
// become line breaks and tabs.

#include <QByteArray>
#include <QString>
#include <optional>

namespace orvel {

inline constexpr qint64 kMaxRtfBytes = 16ll << 20;  // far beyond any message text
inline constexpr int kMaxRtfDepth = 256;            // group nesting

QByteArray plainTextToRtf(const QString& text);
// Nothing, with the reason in Russian, when the bytes are not rich text or
// nest deeper than kMaxRtfDepth. A file cut short gives what it holds.
std::optional<QString> rtfToPlainText(const QByteArray& rtf, QString* error);

// File forms: the writer writes aside and renames.
bool saveRtfFile(const QString& path, const QString& text, QString* error);
std::optional<QString> loadRtfFile(const QString& path, QString* error);

}  // namespace orvel
