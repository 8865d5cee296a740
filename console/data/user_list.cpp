#include "data/user_list.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <numeric>

#include "core/confirm_methods.h"
#include "core/cp1251.h"
#include "core/file_names.h"
#include "data/collation.h"

namespace orvel {
namespace {

constexpr size_t kGrowStep = 256;

// An unreadable number, or one past the range of int, reads as 0.
int readId(std::string_view s) {
    qint64 v = 0;
    size_t i = 0;
    while (i < s.size() && s[i] == ' ')
        ++i;
    bool any = false;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        v = v * 10 + (s[i] - '0');
        if (v > std::numeric_limits<int>::max())
            return 0;
        any = true;
    }
    while (i < s.size() && s[i] == ' ')
        ++i;
    return any && i == s.size() ? int(v) : 0;
}

}  // namespace

TUserList::TUserList(const SettingsManager* settings) : settings_(settings) {}

TUserList::~TUserList() = default;

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
    // The header's count is outside input: a damaged one asked for terabytes.
    const size_t expected = std::min(table_.RecordCount(), table_.RecordsInFile());
    items_.reserve((expected / kGrowStep + 1) * kGrowStep);
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

namespace {

// End of a key part: below every weight in ascending order, above every
// complemented weight in descending order, so a text that is the beginning of
// another comes first going up and last going down.
constexpr char kPartEndUp = '\x00';
constexpr char kPartEndDown = '\xFF';

}  // namespace

// One byte-string key per item, all in one buffer, compared with memcmp. The
// sort moves small entries that carry the first sixteen bytes of their key as
// two big-endian numbers, so most comparisons touch nothing else. Kept by the
// list between sorts: fresh memory for 100,000 keys costs more page faults
// than the sort itself.
class TUserList::SortKeys {
public:
    struct Entry {
        uint64_t head0;
        uint64_t head1;
        uint32_t index;
    };

    // Empties the keys for n items, keeping the memory.
    void reset(size_t n) {
        bytes_.clear();
        entries_.clear();
        offset_.assign(n + 1, 0);
        bytes_.reserve(n * 32);
        entries_.reserve(n);
        order_.resize(n);
    }
    std::string& buffer() { return bytes_; }
    // Ends the key of the next item.
    void close() {
        const uint32_t i = uint32_t(entries_.size());
        offset_[i + 1] = uint32_t(bytes_.size());
        const std::string_view k = key(i);
        entries_.push_back({headAt(k, 0), headAt(k, 8), i});
    }
    std::vector<Entry>& entries() { return entries_; }
    // Scratch for the permutation.
    std::vector<uint32_t>& order() { return order_; }
    bool less(const Entry& a, const Entry& b) const {
        if (a.head0 != b.head0)
            return a.head0 < b.head0;
        if (a.head1 != b.head1)
            return a.head1 < b.head1;
        const std::string_view ka = key(a.index), kb = key(b.index);
        if (ka.size() > 16 || kb.size() > 16) {
            const int c = ka.substr(std::min<size_t>(16, ka.size()))
                              .compare(kb.substr(std::min<size_t>(16, kb.size())));
            if (c != 0)
                return c < 0;
        }
        return a.index < b.index;  // equal keys keep their present order
    }

private:
    static uint64_t headAt(std::string_view k, size_t from) {
        uint64_t h = 0;
        for (size_t b = from; b < from + 8; ++b)
            h = (h << 8) | (b < k.size() ? uint8_t(k[b]) : 0u);
        return h;
    }
    std::string_view key(size_t i) const {
        return {bytes_.data() + offset_[i], size_t(offset_[i + 1] - offset_[i])};
    }
    std::string bytes_;
    std::vector<uint32_t> offset_;
    std::vector<Entry> entries_;
    std::vector<uint32_t> order_;
};

namespace {

// Two digits of a number 0..99 as text.
void appendTwoDigits(char* out, int v) {
    out[0] = char('0' + v / 10);
    out[1] = char('0' + v % 10);
}

}  // namespace

void TUserList::SortBy(bool withMark, int column, int direction) {
    const size_t n = items_.size();
    if (n < 2)
        return;
    // One key per item: the sort part (mark digit and column text), in the
    // direction asked, then the name, always ascending, except where the name
    // or the time window is the column.
    const bool down = direction == 1;
    const bool nameAfter = column != 1 && column != 3;
    std::string methodText[4];
    for (int m = 0; m < 4; ++m)
        methodText[m] = cp1251::encode(MethodName(m)).toStdString();

    if (!sortKeys_)
        sortKeys_ = std::make_unique<SortKeys>();
    SortKeys& keys = *sortKeys_;
    keys.reset(n);
    std::string& k = keys.buffer();
    for (size_t i = 0; i < n; ++i) {
        const TUserListItem& it = items_[i];
        if (withMark)
            appendSortKey(k, it.mark ? "0" : "1", down);
        switch (column) {
            case 1:
                appendSortKey(k, it.name.view(), down);
                break;
            case 2:
                appendSortKey(k, it.phone.view(), down);
                break;
            case 3: {
                // Zero-padded so that 9:00 sorts before 10:00.
                const int s = it.time.present ? it.time.start : 0;
                char buf[8] = {0, 0, ':', 0, 0, ':', 0, 0};
                appendTwoDigits(buf, (s / 3600) % 100);
                appendTwoDigits(buf + 3, (s / 60) % 60);
                appendTwoDigits(buf + 6, s % 60);
                appendSortKey(k, std::string_view(buf, 8), down);
                break;
            }
            case 4: {
                char buf[16];
                // Three digits: 180 lines sort by number, not by text.
                const int len = std::snprintf(buf, sizeof buf, "%.3d", it.line);
                appendSortKey(k, std::string_view(buf, size_t(std::max(len, 0))), down);
                break;
            }
            case 5:
                appendSortKey(k, it.comment.view(), down);
                break;
            case 6:
                if (it.confirmMethod >= 0 && it.confirmMethod < 4) {
                    appendSortKey(k, methodText[it.confirmMethod], down);
                } else {
                    appendSortKey(k, cp1251::encode(MethodName(it.confirmMethod)).toStdString(),
                                  down);
                }
                break;
            default:
                if (column >= 7)
                    appendSortKey(k, cp1251::encode(it.extra.value(column - 7)).toStdString(),
                                  down);
                break;
        }
        k.push_back(down ? kPartEndDown : kPartEndUp);
        if (nameAfter)
            appendSortKey(k, it.name.view());
        keys.close();
    }
    std::vector<SortKeys::Entry>& entries = keys.entries();
    std::sort(
        entries.begin(), entries.end(),
        [&keys](const SortKeys::Entry& a, const SortKeys::Entry& b) { return keys.less(a, b); });
    std::vector<uint32_t>& order = keys.order();
    for (size_t i = 0; i < n; ++i)
        order[i] = entries[i].index;
    // Move the items into place along the permutation's cycles: no second
    // array of 100,000 items, each item moved about once.
    for (size_t start = 0; start < n; ++start) {
        if (order[start] == start)
            continue;
        TUserListItem held = std::move(items_[start]);
        size_t to = start;
        for (;;) {
            const size_t from = order[to];
            order[to] = uint32_t(to);
            if (from == start) {
                items_[to] = std::move(held);
                break;
            }
            items_[to] = std::move(items_[from]);
            to = from;
        }
    }
}

}  // namespace orvel
