#include "notify/report_files.h"

#include <QDir>
#include <QFileInfo>
#include <QtEndian>

#include "core/settings_manager.h"

namespace orvel {

namespace {
const QString kSection = QStringLiteral("COLWIDTHS");
QString sizeKey(int sheet) {
    return QStringLiteral("Column_%1_Size").arg(sheet);
}
QString arrayKey(int sheet) {
    return QStringLiteral("Column_%1").arg(sheet);
}
}  // namespace

QString proposedReportName(const QString& dir, const QDate& today, const QString& extension) {
    const QString date = today.toString(QStringLiteral("yyyyMMdd"));
    for (int n = 1; n <= kMaxProposedNumber; ++n) {
        const QString name = QStringLiteral("File%1_%2").arg(n).arg(date);
        if (!QFileInfo::exists(QDir(dir).filePath(name + extension)))
            return name;
    }
    return QStringLiteral("File%1_%2").arg(kMaxProposedNumber).arg(date);
}

QString encodeSettingsStruct(const QByteArray& bytes) {
    unsigned sum = 0;
    for (char b : bytes)
        sum += uchar(b);
    return QString::fromLatin1(bytes.toHex().toUpper()) +
           QStringLiteral("%1").arg(sum & 0xFF, 2, 16, QLatin1Char('0')).toUpper();
}

std::optional<QByteArray> decodeSettingsStruct(const QString& text, int size) {
    if (size < 0 || text.size() != 2 * (size + 1))
        return std::nullopt;
    for (QChar c : text)
        if (!isxdigit(c.toLatin1()))
            return std::nullopt;
    const QByteArray all = QByteArray::fromHex(text.toLatin1());
    if (all.size() != size + 1)
        return std::nullopt;
    unsigned sum = 0;
    for (int i = 0; i < size; ++i)
        sum += uchar(all[i]);
    if ((sum & 0xFF) != uchar(all[size]))
        return std::nullopt;
    return all.left(size);
}

void storeColumnWidths(SettingsManager& settings, int sheet, const QList<int>& widths) {
    QByteArray bytes(qsizetype(widths.size()) * 4, '\0');
    for (int i = 0; i < widths.size(); ++i)
        qToLittleEndian<qint32>(widths[i], bytes.data() + 4 * i);
    if (bytes.isEmpty() || bytes.size() > kMaxWidthBytes)
        return;
    settings.writeValue(kSection, sizeKey(sheet), QString::number(bytes.size()));
    settings.writeValue(kSection, arrayKey(sheet), encodeSettingsStruct(bytes));
}

std::optional<QList<int>> loadColumnWidths(const SettingsManager& settings, int sheet) {
    bool ok = false;
    const int size = settings.readValue(kSection, sizeKey(sheet), QString()).toInt(&ok);
    if (!ok || size < 1 || size > kMaxWidthBytes)
        return std::nullopt;
    const auto bytes =
        decodeSettingsStruct(settings.readValue(kSection, arrayKey(sheet), QString(), 4096), size);
    if (!bytes)
        return std::nullopt;
    QList<int> widths;
    for (int i = 0; i + 4 <= size; i += 4)
        widths << qFromLittleEndian<qint32>(bytes->constData() + i);
    return widths;
}

}  // namespace orvel
