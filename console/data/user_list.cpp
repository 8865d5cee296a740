#include "data/user_list.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstdio>
#include <numeric>

#include "core/confirm_methods.h"
#include "core/cp1251.h"
#include "core/file_names.h"
#include "data/collation.h"

namespace orvel {
namespace {

constexpr size_t kGrowStep = 256;

int readId(std::string_view s) {
    int v = 0;
    size_t i = 0;
    while (i < s.size() && s[i] == ' ')
        ++i;
    bool any = false;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        v = v * 10 + (s[i] - '0');
        any = true;
    }
    while (i < s.size() && s[i] == ' ')
        ++i;
    return any && i == s.size() ? v : 0;
}

}  // namespace

TUserList::TUserList(const SettingsManager* settings) : settings_(settings) {}

bool TUserList::open(const QString& programDir, int cryptMode) {
    programDir_ = programDir;
    cryptMode_ = cryptMode;
    const QString path = findFileNoCase(programDir, QLatin1String(kUsersTableName));
    table_.setFileName(path);
    if (!QFileInfo::exists(path))
        table_.CreateTable(TDVRTable::standardFieldDefinitions());
    const bool ok = table_.OpenTable(cryptMode) == 0;
    table_.setIncludeDeleted(false);
    columns_ = ok ? TColumnList::fromTable(table_, settings_) : TColumnList();
    LoadFromTable();
    return ok;
}

void TUserList::LoadFromTable() {
    items_.clear();
    maxId_ = 0;
    if (!table_.isOpen() || table_.FieldCount() < 7)
        return;
    items_.reserve(((size_t(table_.RecordCount()) / kGrowStep) + 1) * kGrowStep);
    const int fields = table_.FieldCount();
    for (bool ok = table_.First(); ok; ok = table_.Next()) {
        const std::string_view idText = table_.Field(0)->raw();
        const int id = readId(idText);
        maxId_ = std::max(maxId_, id);
        if (!filter_.isEmpty() && !filter_.contains(cp1251::decode(idText).toLower()))
            continue;
        TUserListItem& it = items_.emplace_back();
        it.id = id;
        it.recordNumber = table_.CurrentRecord() - 1;
        it.name.assign(table_.Field(1)->raw());
        it.phone.assign(table_.Field(2)->raw());
        it.time = parseTimeWindow(table_.Field(3)->raw());
        it.line = parseLine(table_.Field(4)->raw());
        it.comment.assign(table_.Field(5)->raw());
        it.confirmMethod = readId(table_.Field(6)->raw());
        for (int f = 7; f < fields; ++f)
            it.extra << table_.Field(f)->AsString();
    }
}

TUserListItem* TUserList::Item(int index) {
    return index >= 0 && index < Count() ? &items_[size_t(index)] : nullptr;
}

const TUserListItem* TUserList::Item(int index) const {
    return index >= 0 && index < Count() ? &items_[size_t(index)] : nullptr;
}

int TUserList::IndexOfItem(const TUserListItem* item) const {
    if (items_.empty() || item < items_.data() || item >= items_.data() + items_.size())
        return -1;
    return int(item - items_.data());
}

int TUserList::AddItem(const TUserListItem& item) {
    const int fields = table_.FieldCount();
    const int count = table_.Append(item.toFieldTexts(fields), fields - 1);
    if (count < 0)
        return -1;
    // Geometric growth (in whole steps): growing by one step per step made
    // appending n subscribers cost n * n / 256 item copies.
    if (items_.size() == items_.capacity())
        items_.reserve((items_.size() * 3 / 2 / kGrowStep + 1) * kGrowStep);
    TUserListItem& added = items_.emplace_back(item);
    added.recordNumber = count - 1;
    maxId_ = std::max(maxId_, item.id);
    return Count();
}

bool TUserList::UpdateItem(int index) {
    const TUserListItem* it = Item(index);
    if (!it || !recordInTable(it->recordNumber) || !table_.GoTo(it->recordNumber))
        return false;
    const QStringList texts = it->toFieldTexts(table_.FieldCount());
    bool ok = true;
    for (int f = 0; f < table_.FieldCount(); ++f)
        ok = table_.Field(f)->SetAsString(texts[f]) && ok;
    return ok;
}

int TUserList::DeleteItem(int index) {
    if (!Item(index))
        return -1;
    // An item whose record lies beyond the table has nothing to mark; moving
    // to it would touch the wrong record or write past the end.
    const int record = items_[size_t(index)].recordNumber;
    if (!recordInTable(record))
        return -1;
    if (table_.GoTo(record))
        table_.DeleteCurrent();
    if (size_t(index) + 1 != items_.size())
        items_[size_t(index)] = std::move(items_.back());
    items_.pop_back();
    return Count();
}

bool TUserList::recordInTable(int record) const {
    return table_.isOpen() && record >= 0 && uint32_t(record) < table_.RecordCount();
}

int TUserList::NextId() const {
    return std::max(maxId_ + 1, 2);
}

void TUserList::SetGroupFilter(const QString& groupFile) {
    filter_.clear();
    groupFile_.clear();
    QFile f(groupFile);
    if (!groupFile.isEmpty() && f.open(QIODevice::ReadOnly)) {
        groupFile_ = groupFile;
        for (const QByteArray& line : f.readAll().split('\n')) {
            const QString id = cp1251::decode(line.trimmed()).toLower();
            if (!id.isEmpty())
                filter_.insert(id);
        }
    }
    LoadFromTable();
}

void TUserList::ClearRunFields() {
    for (auto& it : items_) {
        it.attempts = 0;
        it.lastState = 0;
        it.interrupted = 0;
    }
}

void TUserList::SortBy(bool withMark, int column, int direction) {
    const size_t n = items_.size();
    std::vector<std::string> primary(n), names(n);
    const bool byName = column == 1 || column == 3;
    std::string methodKeys[4];
    for (int m = 0; m < 4; ++m)
        methodKeys[m] = sortKey(cp1251::encode(MethodName(m)).toStdString());

    for (size_t i = 0; i < n; ++i) {
        const TUserListItem& it = items_[i];
        std::string& k = primary[i];
        if (withMark)
            k.push_back(it.mark ? '0' : '1');
        switch (column) {
            case 1:
                appendSortKey(k, it.name.view());
                break;
            case 2:
                appendSortKey(k, it.phone.view());
                break;
            case 3: {
                // Zero-padded so that 9:00 sorts before 10:00.
                const int s = it.time.present ? it.time.start : 0;
                char buf[16];
                std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", s / 3600, (s / 60) % 60, s % 60);
                appendSortKey(k, buf);
                break;
            }
            case 4: {
                char buf[16];
                // Three digits: 180 lines sort by number, not by text.
                std::snprintf(buf, sizeof buf, "%.3d", it.line);
                appendSortKey(k, buf);
                break;
            }
            case 5:
                appendSortKey(k, it.comment.view());
                break;
            case 6:
                if (it.confirmMethod >= 0 && it.confirmMethod < 4) {
                    k += methodKeys[it.confirmMethod];
                } else {
                    appendSortKey(k, cp1251::encode(MethodName(it.confirmMethod)).toStdString());
                }
                break;
            default:
                if (column >= 7)
                    appendSortKey(k, cp1251::encode(it.extra.value(column - 7)).toStdString());
                break;
        }
        if (!byName)
            names[i] = sortKey(it.name.view());
    }
    std::vector<uint32_t> order(n);
    std::iota(order.begin(), order.end(), 0u);
    const bool descending = direction == 1;
    std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
        const int c = primary[a].compare(primary[b]);
        if (c != 0)
            return descending ? c > 0 : c < 0;
        return !byName && names[a] < names[b];
    });
    std::vector<TUserListItem> sorted;
    sorted.reserve(items_.capacity());
    for (const uint32_t i : order)
        sorted.push_back(std::move(items_[i]));
    items_ = std::move(sorted);
}

}  // namespace orvel
