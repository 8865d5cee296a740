#include "diag/log_cache.h"

#include <QFile>
#include <algorithm>

#include "diag/line_state_log.h"

namespace orvel {
namespace {

QString afterLastW(const QString& number) {
    const qsizetype w =
        std::max(number.lastIndexOf(QLatin1Char('w')), number.lastIndexOf(QLatin1Char('W')));
    return w < 0 ? number : number.mid(w + 1);
}

}  // namespace

int TLogCache::Add(const TLineStateRecord& r) {
    TLogCacheEntry e;
    e.name = r.name.left(40);
    e.number = afterLastW(r.number.left(30));
    e.time = r.time.left(8);
    e.line = r.line;
    e.state = r.state;
    e.stateText = lineStateText(r.state).left(32);
    entries_.append(e);
    return int(entries_.size()) - 1;
}

int TLogCache::Add(const char* record92) {
    return Add(TLineStateRecord::fromBytes(record92));
}

void TLogCache::Sort() {
    // Keys are compared with the locale's rules, case-sensitive.
    std::stable_sort(entries_.begin(), entries_.end(),
                     [](const TLogCacheEntry& a, const TLogCacheEntry& b) {
                         return QString::localeAwareCompare(a.name + a.number + a.time,
                                                            b.name + b.number + b.time) < 0;
                     });
}

const TLogCacheEntry* TLogCache::Item(int index) const {
    return index >= 0 && index < entries_.size() ? &entries_[index] : nullptr;
}

void TLogCache::Delete(int index) {
    if (index >= 0 && index < entries_.size())
        entries_.removeAt(index);
}

QString TLogCache::FindTime(const QString& name, const QString& number,
                            const QString& defaultText) const {
    for (const auto& e : entries_) {
        if (e.name == name && e.number == number)
            return e.time;
    }
    return defaultText;
}

void TLogCache::MarkMatched(const QString& name, const QString& number) {
    for (auto& e : entries_) {
        if (e.name == name && e.number == number)
            e.matched = 1;
    }
}

bool TLogCache::loadRun(const QString& path) {
    Clear();
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray all = f.readAll();
    for (qsizetype off = 0; off + kLineStateRecordSize <= all.size(); off += kLineStateRecordSize) {
        Add(all.constData() + off);
    }
    Sort();
    return true;
}

}  // namespace orvel
