#pragma once
// Files and settings of the report window, widget-free: the name proposed
// when a report is saved under another name, and the column widths kept in
// section "COLWIDTHS" of the settings file.

#include <QDate>
#include <QList>
#include <QString>
#include <optional>

namespace orvel {

class SettingsManager;

// Report workbooks are Office Open XML; older installations left ".xls".
inline constexpr char kReportExtension[] = ".xlsx";
inline constexpr int kMaxProposedNumber = 1024;
// Byte sizes of a stored width array that are accepted.
inline constexpr int kMaxWidthBytes = 1024;

// "File<n>_yyyyMMdd" with the smallest n from 1 to 1024 for which that name
// with `extension` does not exist in `dir` (1024 when all exist).
QString proposedReportName(const QString& dir, const QDate& today,
                           const QString& extension = QString::fromLatin1(kReportExtension));

// The binary form of the settings file: every byte as two hexadecimal
// digits, then a checksum byte (the sum of the bytes, modulo 256).
QString encodeSettingsStruct(const QByteArray& bytes);
// nullopt when the text is not `size` bytes with a matching checksum.
std::optional<QByteArray> decodeSettingsStruct(const QString& text, int size);

// Widths of one report sheet (1..5) stored as "Column_<n>_Size" (4 bytes a
// column) and "Column_<n>" (32-bit little-endian widths, checksummed).
void storeColumnWidths(SettingsManager& settings, int sheet, const QList<int>& widths);
// nullopt when nothing valid is stored (a size outside 1..1024, a text
// that fails the check).
std::optional<QList<int>> loadColumnWidths(const SettingsManager& settings, int sheet);

}  // namespace orvel
