#pragma once
// Reading a delimited text file of subscribers into rows of fields: the
// source's code page, the separator, and the checks that keep a file that is
// not text (or not sensible text) from reaching the subscriber table.

#include <QString>
#include <QStringList>
#include <cstddef>
#include <string_view>
#include <vector>

namespace orvel {

// A line yields at most this many fields; the rest of the line is dropped.
inline constexpr int kMaxImportFields = 127;
// Longer lines are refused: 127 fields of the longest column (254) fit well.
inline constexpr size_t kMaxImportLineBytes = 64 * 1024;
// Larger files are refused before they are read (a million subscribers of
// 200 bytes each stay far below).
inline constexpr qint64 kMaxImportFileBytes = 512LL * 1024 * 1024;

enum class TextCodePage {
    Windows1251,  // "Text file WIN", "CSV file"
    Dos866,       // "Text file DOS"
};

struct TextImportOptions {
    TextCodePage codePage = TextCodePage::Windows1251;
    QString separator = QStringLiteral("\t");
    // Runs of separators count as one: empty pieces are skipped.
    bool repeatedSeparator = true;
};

// Rows of fields as read from a source, before they become subscribers.
// `error` is empty when the whole source was read; otherwise it says why the
// source was refused and `rows` is empty.
struct ImportTable {
    std::vector<QStringList> rows;
    QString error;
};

// The text of the file: UTF-8 when the bytes are valid UTF-8 (with or without
// a byte-order mark) and contain anything beyond ASCII, since that is what
// today's spreadsheets export whatever the operator chose; otherwise the
// chosen 8-bit code page.
QString decodeImportText(std::string_view bytes, TextCodePage codePage);
// Text of CP866 bytes.
QString decodeCp866(std::string_view bytes);

// Splits one line at the separator (an empty separator leaves the line whole),
// at most kMaxImportFields pieces.
QStringList splitImportLine(const QString& line, const TextImportOptions& options);

// The whole file: refused (with the reason in `error`) when it holds bytes no
// text file has, or a line longer than kMaxImportLineBytes. Lines that yield no
// field are left out.
ImportTable parseImportText(std::string_view bytes, const TextImportOptions& options);

}  // namespace orvel
