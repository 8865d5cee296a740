#include "diag/log_cache.h"

#include <QCollator>
#include <QFile>
#include <QLocale>
#include <algorithm>
#include <utility>

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
    // Names are ordered as Russian text (case only breaks ties), whatever
    // locale the process runs in: the runner usually runs in the C locale,
    // where a locale-aware comparison falls back to character codes and puts
    // "Ёлкин" and every capital before "абрамов".
    QCollator collator{QLocale(QLocale::Russian, QLocale::Russia)};
    collator.setCaseSensitivity(Qt::CaseSensitive);
    QList<std::pair<QCollatorSortKey, qsizetype>> keys;
    keys.reserve(entries_.size());
    for (qsizetype i = 0; i < entries_.size(); ++i) {
        const TLogCacheEntry& e = entries_[i];
        keys.append({collator.sortKey(e.name + e.number + e.time), i});
    }
    std::stable_sort(keys.begin(), keys.end(),
                     [](const auto& a, const auto& b) { return a.first.compare(b.first) < 0; });
    QList<TLogCacheEntry> sorted;
    sorted.reserve(entries_.size());
    for (const auto& k : keys)
        sorted.append(std::move(entries_[k.second]));
    entries_ = std::move(sorted);
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
