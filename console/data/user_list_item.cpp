#include "data/user_list_item.h"

#include <charconv>

#include "core/cp1251.h"
#include "core/texts.h"

namespace orvel {

QString shortStringText(std::string_view bytes) {
    return cp1251::decode(bytes);
}
QByteArray shortStringBytes(const QString& text) {
    return cp1251::encode(text);
}

namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ')
        s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ')
        s.remove_suffix(1);
    return s;
}

bool readInt(std::string_view s, int& out) {
    s = trim(s);
    if (!s.empty() && s.front() == '+')
        s.remove_prefix(1);
    const auto r = std::from_chars(s.data(), s.data() + s.size(), out);
    return !s.empty() && r.ec == std::errc() && r.ptr == s.data() + s.size();
}

QString hmm(int seconds) {
    return QStringLiteral("%1:%2")
        .arg(seconds / 3600)
        .arg((seconds / 60) % 60, 2, 10, QLatin1Char('0'));
}

}  // namespace

int parseTimeOfDay(std::string_view text) {
    text = trim(text);
    int parts[3] = {0, 0, 0};
    int n = 0;
    while (!text.empty()) {
        if (n == 3)
            return -1;
        const size_t colon = text.find(':');
        const std::string_view piece = text.substr(0, colon);
        if (piece.empty() || piece.size() > 2 || !readInt(piece, parts[n]))
            return -1;
        ++n;
        if (colon == std::string_view::npos)
            break;
        text.remove_prefix(colon + 1);
        if (text.empty())
            return -1;
    }
    if (n < 2 || parts[0] > 23 || parts[1] > 59 || parts[2] > 59)
        return -1;
    return parts[0] * 3600 + parts[1] * 60 + parts[2];
}

TTimeWindow parseTimeWindow(std::string_view bytes) {
    TTimeWindow w;
    const size_t dash = bytes.find('-');
    if (dash == std::string_view::npos)
        return w;
    const int start = parseTimeOfDay(bytes.substr(0, dash));
    const int end = parseTimeOfDay(bytes.substr(dash + 1));
    if (start < 0 || end < 0)
        return w;
    return {true, start, end};
}

TTimeWindow parseTimeWindow(const QString& text) {
    const QByteArray b = text.toLatin1();
    return parseTimeWindow(std::string_view(b.constData(), size_t(b.size())));
}

QString timeWindowText(const TTimeWindow& w) {
    if (!w.present)
        return {};
    return hmm(w.start) + QStringLiteral(" - ") + hmm(w.end);
}

QString lineText(int line) {
    return line < 0 ? QString() : QString::number(line + 1);
}

int parseLine(std::string_view bytes) {
    int v = 0;
    if (!readInt(bytes, v) || v <= 0)
        return -1;
    return v - 1;
}

PhoneText splitPhone(const QString& stored) {
    if (stored.size() >= 2 && stored[0] == QLatin1Char('#') && stored[1].isDigit()) {
        const int p = stored[1].digitValue();
        if (p == 0 || p == 2 || p == 3)
            return {p, stored.mid(2)};
    }
    return {1, stored};
}

QString joinPhone(int prefix, const QString& number) {
    if (prefix == 1)
        return number;
    return QLatin1Char('#') + QString::number(prefix) + number;
}

bool isPhoneChar(QChar c) {
    return c.isDigit() || c == QLatin1Char('-') || c == QLatin1Char(',') || c == QLatin1Char('w') ||
           c == QLatin1Char('*');
}

std::optional<QChar> acceptPhoneKey(QChar typed) {
    const QChar c = typed.toLower();
    return isPhoneChar(c) ? std::optional<QChar>(c) : std::nullopt;
}

QString phoneCharHint() {
    return T(textNotAllowedSymbol) + QStringLiteral(".\n") + T(textAllowedSymbolsList) +
           QStringLiteral(": \"0\"-\"9\", \"-\", \",\", \"w\", \"*\".");
}

QStringList TUserListItem::toFieldTexts(int fieldCount) const {
    QStringList t;
    t.reserve(fieldCount);
    t << QString::number(id) << name.toString() << phone.toString() << timeWindowText(time)
      << lineText(line) << comment.toString() << QString::number(confirmMethod);
    for (int i = 0; t.size() < fieldCount; ++i)
        t << extra.value(i);
    while (t.size() > fieldCount)
        t.removeLast();
    return t;
}

}  // namespace orvel
