#include "data/import_text.h"

#include <array>

#include "core/cp1251.h"
#include "core/texts.h"

namespace orvel {
namespace {

// Upper half of code page 866: Cyrillic letters, box drawing and a few signs.
constexpr std::array<char16_t, 128> kCp866High = {
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, 0x0418, 0x0419, 0x041A, 0x041B,
    0x041C, 0x041D, 0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F, 0x0430, 0x0431, 0x0432, 0x0433,
    0x0434, 0x0435, 0x0436, 0x0437, 0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557,
    0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559,
    0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447, 0x0448, 0x0449, 0x044A, 0x044B,
    0x044C, 0x044D, 0x044E, 0x044F, 0x0401, 0x0451, 0x0404, 0x0454, 0x0407, 0x0457, 0x040E, 0x045E,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x2116, 0x00A4, 0x25A0, 0x00A0,
};

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// Control bytes a text file may hold: tab, line feed, vertical tab, form
// feed, carriage return and the end-of-file mark of old DOS editors.
bool isTextControl(unsigned char c) {
    return c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == 0x1A;
}

bool allAscii(std::string_view bytes) {
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool validUtf8(std::string_view s) {
    size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        int more = 0;
        unsigned lo = 0x80, hi = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            more = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            more = 2;
            if (c == 0xE0)
                lo = 0xA0;
            if (c == 0xED)
                hi = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            more = 3;
            if (c == 0xF0)
                lo = 0x90;
            if (c == 0xF4)
                hi = 0x8F;
        } else {
            return false;
        }
        if (i + size_t(more) >= s.size())
            return false;
        for (int k = 1; k <= more; ++k) {
            const auto b = static_cast<unsigned char>(s[i + size_t(k)]);
            const unsigned l = k == 1 ? lo : 0x80;
            const unsigned h = k == 1 ? hi : 0xBF;
            if (b < l || b > h)
                return false;
        }
        i += size_t(more) + 1;
    }
    return true;
}

}  // namespace

QString decodeCp866(std::string_view bytes) {
    QString out(qsizetype(bytes.size()), Qt::Uninitialized);
    QChar* d = out.data();
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        *d++ = b < 0x80 ? QChar(b) : QChar(kCp866High[b - 0x80]);
    }
    return out;
}

QString decodeImportText(std::string_view bytes, TextCodePage codePage) {
    if (bytes.substr(0, kUtf8Bom.size()) == kUtf8Bom) {
        bytes.remove_prefix(kUtf8Bom.size());
        if (validUtf8(bytes))
            return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
    } else if (!allAscii(bytes) && validUtf8(bytes)) {
        return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
    }
    return codePage == TextCodePage::Dos866 ? decodeCp866(bytes) : cp1251::decode(bytes);
}

QStringList splitImportLine(const QString& line, const TextImportOptions& options) {
    QStringList fields;
    const QString& sep = options.separator;
    if (sep.isEmpty()) {
        if (!line.isEmpty())
            fields << line;
        return fields;
    }
    qsizetype from = 0;
    while (fields.size() < kMaxImportFields) {
        const qsizetype at = line.indexOf(sep, from);
        const QString piece = line.mid(from, at < 0 ? -1 : at - from);
        if (!(options.repeatedSeparator && piece.isEmpty()))
            fields << piece;
        if (at < 0)
            break;
        from = at + sep.size();
    }
    // A line of separators and blanks only is an empty line: no subscriber.
    bool any = false;
    for (const QString& f : fields)
        any = any || !f.trimmed().isEmpty();
    if (!any)
        fields.clear();
    return fields;
}

ImportTable parseImportText(std::string_view bytes, const TextImportOptions& options) {
    ImportTable table;
    // Checked on the bytes, before decoding: no code page turns these into
    // text, so a binary file is refused whichever filter was chosen.
    size_t lineStart = 0;
    int lineNumber = 1;
    for (size_t i = 0; i <= bytes.size(); ++i) {
        if (i == bytes.size() || bytes[i] == '\n') {
            if (i - lineStart > kMaxImportLineBytes) {
                table.error = T(textLineTooLong) + QStringLiteral(" (") +
                              QString::number(lineNumber) + QLatin1Char(')');
                return table;
            }
            lineStart = i + 1;
            ++lineNumber;
            continue;
        }
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x20 && !isTextControl(c)) {
            table.error = T(textNotTextFile);
            return table;
        }
    }
    const QString text = decodeImportText(bytes, options.codePage);
    qsizetype from = 0;
    while (from <= text.size()) {
        qsizetype end = text.indexOf(QLatin1Char('\n'), from);
        if (end < 0)
            end = text.size();
        QStringView line = QStringView(text).mid(from, end - from);
        while (!line.isEmpty() && (line.back() == QLatin1Char('\r') || line.back() == QChar(0x1A)))
            line.chop(1);
        if (!line.isEmpty()) {
            QStringList fields = splitImportLine(line.toString(), options);
            if (!fields.isEmpty())
                table.rows.push_back(std::move(fields));
        }
        from = end + 1;
    }
    return table;
}

}  // namespace orvel
