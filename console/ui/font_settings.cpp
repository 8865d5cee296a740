#include "ui/font_settings.h"

namespace orvel {

PropertyList fontToProperties(const QFont& font, const QColor& colour) {
    QStringList style;
    if (font.bold())
        style << QStringLiteral("fsBold");
    if (font.italic())
        style << QStringLiteral("fsItalic");
    if (font.underline())
        style << QStringLiteral("fsUnderline");
    if (font.strikeOut())
        style << QStringLiteral("fsStrikeOut");
    const int size = font.pointSize() > 0 ? font.pointSize() : font.pixelSize();
    const uint32_t stored =
        uint32_t(colour.red()) | uint32_t(colour.green()) << 8 | uint32_t(colour.blue()) << 16;
    return {
        {QStringLiteral("Charset"), QStringLiteral("DEFAULT_CHARSET")},
        {QStringLiteral("Color"), QString::number(stored)},
        {QStringLiteral("Height"), QString::number(-size)},
        {QStringLiteral("Name"), font.family()},
        {QStringLiteral("Pitch"), QStringLiteral("fpDefault")},
        {QStringLiteral("Size"), QString::number(size)},
        {QStringLiteral("Style"),
         QLatin1Char('[') + style.join(QLatin1Char(',')) + QLatin1Char(']')},
    };
}

void applyFontProperties(const PropertyList& properties, QFont& font, QColor* colour) {
    for (const auto& [key, value] : properties) {
        bool ok = false;
        if (key.compare(QLatin1String("Name"), Qt::CaseInsensitive) == 0 && !value.isEmpty()) {
            font.setFamily(value);
        } else if (key.compare(QLatin1String("Size"), Qt::CaseInsensitive) == 0) {
            const int size = value.toInt(&ok);
            if (ok && size > 0 && size < 200)
                font.setPointSize(size);
        } else if (key.compare(QLatin1String("Style"), Qt::CaseInsensitive) == 0) {
            QString v = value.trimmed();
            if (!v.startsWith(QLatin1Char('[')) || !v.endsWith(QLatin1Char(']')))
                continue;
            const QStringList parts =
                v.mid(1, v.size() - 2).split(QLatin1Char(','), Qt::SkipEmptyParts);
            auto has = [&](const char* name) {
                return parts.contains(QLatin1String(name), Qt::CaseInsensitive) ||
                       parts.contains(QStringLiteral(" ") + QLatin1String(name),
                                      Qt::CaseInsensitive);
            };
            font.setBold(has("fsBold"));
            font.setItalic(has("fsItalic"));
            font.setUnderline(has("fsUnderline"));
            font.setStrikeOut(has("fsStrikeOut"));
        } else if (colour && key.compare(QLatin1String("Color"), Qt::CaseInsensitive) == 0) {
            const qlonglong v = value.toLongLong(&ok);
            if (ok && v >= 0 && v <= 0xFFFFFF) {
                *colour = QColor(int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF));
            }
        }
    }
}

}  // namespace orvel
