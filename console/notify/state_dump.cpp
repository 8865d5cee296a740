#include "notify/state_dump.h"

#include <QFile>
#include <QSet>
#include <cstring>

#include "core/cp1251.h"
#include "core/safe_file.h"
#include "data/user_list.h"

namespace orvel {

namespace {
constexpr int kFirstField = 32;
constexpr int kSecondField = 24;
constexpr int kAttemptsAt = 56;
constexpr int kResultAt = 60;

void putText(QByteArray& r, int at, int field, const QString& text) {
    const QByteArray b = cp1251::encode(text).left(field - 1);
    std::memcpy(r.data() + at, b.constData(), size_t(b.size()));
}
QString getText(const char* r, int at, int field) {
    const void* zero = std::memchr(r + at, 0, size_t(field));
    const size_t len = zero ? size_t(static_cast<const char*>(zero) - (r + at)) : size_t(field);
    return cp1251::decode(std::string_view(r + at, len));
}
int32_t getI32(const char* r, int at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | uint8_t(r[at + i]);
    return int32_t(v);
}
void putI32(QByteArray& r, int at, int32_t value) {
    for (int i = 0; i < 4; ++i)
        r[at + i] = char((uint32_t(value) >> (8 * i)) & 0xFF);
}
}  // namespace

QByteArray TDumpRecord::toBytes() const {
    QByteArray r(kDumpRecordSize, '\0');
    putText(r, 0, kFirstField, first);
    putText(r, kFirstField, kSecondField, second);
    putI32(r, kAttemptsAt, attempts);
    putI32(r, kResultAt, result);
    r[64] = '\r';
    r[65] = '\n';
    return r;
}

TDumpRecord TDumpRecord::fromBytes(const char* r) {
    TDumpRecord d;
    d.first = getText(r, 0, kFirstField);
    d.second = getText(r, kFirstField, kSecondField);
    d.attempts = getI32(r, kAttemptsAt);
    d.result = getI32(r, kResultAt);
    return d;
}

bool SaveStateDump(const QString& path, const TUserList& list) {
    QByteArray bytes;
    for (int k = 0; k < list.Count(); ++k) {
        const TUserListItem& s = *list.Item(k);
        if (!s.mark)
            continue;
        TDumpRecord d{s.name.toString(), s.phone.toString(), s.attempts, s.lastState};
        bytes += d.toBytes();
    }
    return writeFileSafely(path, bytes);
}

bool LoadStateDump(const QString& path, TUserList& list) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray all = f.readAll();
    QSet<QString> rows;
    for (int k = 0; k < list.Count(); ++k) {
        const TUserListItem& s = *list.Item(k);
        // The dump keeps cut texts, so rows are compared as the dump holds them.
        const TDumpRecord cut = TDumpRecord::fromBytes(
            TDumpRecord{s.name.toString(), s.phone.toString(), 0, 0}.toBytes().constData());
        rows.insert(cut.first + QChar(0) + cut.second);
    }
    qsizetype at = 0;
    for (int k = 0; k < list.Count(); ++k) {
        TUserListItem& s = *list.Item(k);
        if (!s.mark)
            continue;
        if (all.size() - at < kDumpRecordSize)
            continue;
        const TDumpRecord d = TDumpRecord::fromBytes(all.constData() + at);
        at += kDumpRecordSize;
        if (!rows.contains(d.first + QChar(0) + d.second))
            continue;
        s.attempts = qMax(0, d.attempts);
        s.lastState = (d.result >= -1 && d.result <= 17) ? d.result : 0;
    }
    return true;
}

}  // namespace orvel
