#pragma once
// One subscriber in memory, and the text forms its fields take in the table.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>

namespace orvel {

// A string of at most N characters kept as Windows-1251 bytes inside the
// item, so loading and sorting 100,000 subscribers allocates nothing per name.
template <int N>
struct ShortString {
    uint8_t len = 0;
    char data[N] = {};

    std::string_view view() const { return {data, len}; }
    QString toString() const;
    void assign(std::string_view bytes) {
        len = uint8_t(bytes.size() < size_t(N) ? bytes.size() : size_t(N));
        std::memcpy(data, bytes.data(), len);
    }
    void assign(const QString& text);
    bool operator==(const ShortString& o) const { return view() == o.view(); }
};

QString shortStringText(std::string_view bytes);
QByteArray shortStringBytes(const QString& text);

template <int N>
QString ShortString<N>::toString() const {
    return shortStringText(view());
}
template <int N>
void ShortString<N>::assign(const QString& text) {
    const QByteArray b = shortStringBytes(text);
    assign(std::string_view(b.constData(), size_t(b.size())));
}

// Calling-time window; times are seconds since midnight.
struct TTimeWindow {
    bool present = false;
    int32_t start = 0;
    int32_t end = 0;
};

// "h:nn - h:nn", empty when there is no window.
QString timeWindowText(const TTimeWindow& w);
// Splits at "-", trims and reads both times; anything else: no window.
TTimeWindow parseTimeWindow(const QString& text);
TTimeWindow parseTimeWindow(std::string_view bytes);
// A time of day "h:nn" or "h:nn:ss"; -1 when it is not one.
int parseTimeOfDay(std::string_view text);
// Line as stored: counted from 1, empty for any line (-1).
QString lineText(int line);
// Stored line text -> zero-based line; not an integer, or 0: any line (-1).
int parseLine(std::string_view bytes);

// The telephone text: an optional prefix marker "#0", "#2" or "#3" (no
// marker means prefix 1) followed by the number.
struct PhoneText {
    int prefix = 1;  // 0 = none, 1..3
    QString number;
};
PhoneText splitPhone(const QString& stored);
QString joinPhone(int prefix, const QString& number);
// Digits, "-", ",", "w" and "*".
bool isPhoneChar(QChar c);
// A key typed into a telephone field: turned to lower case first; nothing
// when it is refused (the caller then shows phoneCharHint()).
std::optional<QChar> acceptPhoneKey(QChar typed);
// "Недопустимый символ." + line break + the list of allowed characters.
QString phoneCharHint();

struct TUserListItem {
    uint8_t mark = 0;
    int32_t id = 0;
    ShortString<40> name;
    ShortString<30> phone;
    TTimeWindow time;
    int32_t line = -1;
    ShortString<50> comment;
    QStringList extra;  // additional fields, in table order
    int32_t confirmMethod = 0;
    uint8_t inCall = 0;
    int32_t recordNumber = 0;
    // Run fields, owned by a notification run.
    int64_t lastStateTime = 0;  // ms since the epoch
    int32_t lastState = 0;
    int64_t notifyTime = 0;
    int32_t attempts = 0;
    uint8_t flags = 0;  // bit 0: number identification seen; bit 2: reset for a repeat
    // Calls cut by the program's end (a crash or power cut) whose result
    // never arrived: not counted as attempts.
    int32_t interrupted = 0;

    // One text per table field, in field order.
    QStringList toFieldTexts(int fieldCount) const;
};

}  // namespace orvel
