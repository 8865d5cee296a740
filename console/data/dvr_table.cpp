#include "data/dvr_table.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QFile>
#include <QtEndian>
#include <algorithm>
#include <cstring>

#include "core/cp1251.h"
#include "core/safe_file.h"

namespace orvel {
namespace {

constexpr int kNameLength = 11;
constexpr int kMaxTextLength = 254;
constexpr size_t kReadAhead = 64 * 1024;

ssize_t readFully(int fd, void* data, size_t size, int64_t offset) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd, static_cast<char*>(data) + done, size - done, offset + done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += size_t(n);
    }
    return ssize_t(done);
}

bool writeFully(int fd, const void* data, size_t size, int64_t offset) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n =
            ::pwrite(fd, static_cast<const char*>(data) + done, size - done, offset + done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return true;
}

struct FieldDef {
    QByteArray name;  // 11 bytes, space padded
    char type = 'C';
    int length = 0;
    int decimals = 0;
};

bool parseDefinition(const QString& def, FieldDef& out) {
    if (def.size() < 20)
        return false;
    bool ok = false;
    out.length = def.mid(17, 3).toInt(&ok);
    if (!ok || out.length <= 0 || out.length > kMaxTextLength)
        return false;
    out.name = cp1251::encode(def.left(kNameLength)).leftJustified(kNameLength, ' ', true);
    out.type = cp1251::encodeChar(def.at(12));
    out.decimals = def.size() > 21 ? def.mid(21, 1).toInt() : 0;
    return true;
}

}  // namespace

// ---------------------------------------------------------------- TDVRField

std::string_view TDVRField::raw() const {
    if (table_->buffer_.empty())
        return {};
    const char* p = reinterpret_cast<const char*>(table_->buffer_.data()) + position_;
    const size_t max = size_t(std::min(length_, kMaxTextLength));
    return std::string_view(p, strnlen(p, max));
}

QString TDVRField::AsString() const {
    return cp1251::decode(raw());
}

int TDVRField::AsInteger() const {
    bool ok = false;
    const int v = AsString().trimmed().toInt(&ok);
    return ok ? v : 0;
}

bool TDVRField::SetAsString(const QString& text) {
    TDVRTable& t = *table_;
    if (!t.isOpen() || t.current_ <= 0)
        return false;
    uint8_t* p = t.buffer_.data() + position_;
    std::memset(p, 0, size_t(length_));
    const QByteArray b = cp1251::encode(text).left(length_);
    std::memcpy(p, b.constData(), size_t(b.size()));
    return t.writeCurrentRecord();
}

// ---------------------------------------------------------------- TDVRTable

TDVRTable::TDVRTable(QString fileName) : fileName_(std::move(fileName)) {}

TDVRTable::~TDVRTable() {
    CloseTable();
}

void TDVRTable::setFileName(QString name) {
    CloseTable();
    fileName_ = std::move(name);
}

QString TDVRTable::additionalFieldDefinition(const QString& name, int length) {
    return QStringLiteral("%1;C;05;%2;0")
        .arg(name.leftJustified(kNameLength, QLatin1Char(' ')))
        .arg(length, 3, 10, QLatin1Char('0'));
}

QStringList TDVRTable::standardFieldDefinitions() {
    return {
        QStringLiteral("ID         ;C;05;011;0"), QStringLiteral("FIO        ;C;05;040;0"),
        QStringLiteral("TLF        ;C;05;030;0"), QStringLiteral("TIME       ;C;05;016;0"),
        QStringLiteral("LINE       ;C;05;008;0"), QStringLiteral("COMMENT    ;C;05;050;0"),
        QStringLiteral("CONFIRMTYPE;C;05;002;0"),
    };
}

void TDVRTable::setError(uint8_t code) {
    lastError_ = code;
    if (onError)
        onError(*this);
}

void TDVRTable::scramble(uint8_t* p, size_t n) const {
    if (!scrambled_)
        return;
    for (size_t i = 0; i < n; ++i)
        p[i] ^= key_;
}

int TDVRTable::CreateTable(const QStringList& definitions) {
    CloseTable();
    includeDeleted_ = false;
    if (definitions.isEmpty() || definitions.size() > kDvrMaxFields)
        return -1;

    QByteArray out(kDvrHeaderSize, '\0');
    int sum = 0;
    for (const QString& d : definitions) {
        FieldDef f;
        if (!parseDefinition(d, f))
            return -1;
        QByteArray desc(kDvrDescriptorSize, '\0');
        std::memcpy(desc.data(), f.name.constData(), kNameLength);
        desc[11] = f.type;
        qToLittleEndian<quint16>(quint16(f.length), desc.data() + 12);
        qToLittleEndian<quint16>(quint16(f.length), desc.data() + 14);
        qToLittleEndian<quint16>(quint16(f.decimals), desc.data() + 16);
        out += desc;
        sum += f.length;
    }
    const int recordLength = sum + 1;
    if (recordLength > kDvrMaxRecordLength)
        return -1;
    out += char(kDvrTerminator);
    const int fields = int(definitions.size());
    qToLittleEndian<quint32>(0, out.data());
    qToLittleEndian<quint32>(0, out.data() + 4);
    qToLittleEndian<quint16>(quint16(recordLength), out.data() + 8);
    qToLittleEndian<quint16>(quint16(fields), out.data() + 10);
    qToLittleEndian<quint32>(quint32(kDvrHeaderSize + kDvrDescriptorSize * fields + 1),
                             out.data() + 12);

    return writeFileSafely(fileName_, out) ? 0 : -1;
}

int TDVRTable::OpenTable(int scrambled) {
    CloseTable();
    scrambled_ = uint16_t(scrambled ? 1 : 0);
    key_ = kDvrScrambleKey;
    lastError_ = kDvrErrNone;
    const QByteArray path = QFile::encodeName(fileName_);
    fd_ = ::open(path.constData(), O_RDWR | O_CLOEXEC);
    readOnly_ = false;
    if (fd_ < 0) {
        fd_ = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0)
            return -1;
        readOnly_ = true;
        setError(kDvrErrReadOnly);
    }
    auto refuse = [this] {
        ::close(fd_);
        fd_ = -1;
        fields_.clear();
        setError(kDvrErrHeader);
        return -1;
    };
    if (readFully(fd_, header_.data(), header_.size(), 0) != ssize_t(header_.size())) {
        return refuse();
    }
    const int recordLength = qFromLittleEndian<quint16>(header_.data() + 8);
    const int fields = qFromLittleEndian<quint16>(header_.data() + 10);
    const int firstOffset = qFromLittleEndian<quint32>(header_.data() + 12) & 0xFFFF;
    if (fields < 1 || fields > kDvrMaxFields || recordLength > kDvrMaxRecordLength) {
        return refuse();
    }
    std::vector<uint8_t> desc(size_t(fields) * kDvrDescriptorSize);
    if (readFully(fd_, desc.data(), desc.size(), kDvrHeaderSize) != ssize_t(desc.size())) {
        return refuse();
    }
    int position = 1;
    for (int i = 0; i < fields; ++i) {
        const uint8_t* d = desc.data() + size_t(i) * kDvrDescriptorSize;
        const int length = qFromLittleEndian<quint16>(d + 14);
        const QString name =
            cp1251::decode(std::string_view(reinterpret_cast<const char*>(d), size_t(kNameLength)));
        fields_.push_back(std::make_unique<TDVRField>(this, name, length, i, position));
        position += length;
    }
    // Fields that reach past the record, or records that start inside the
    // descriptors, would read or write outside a record: refuse the file.
    if (position > recordLength || firstOffset < kDvrHeaderSize + kDvrDescriptorSize * fields) {
        return refuse();
    }
    recordCount_ = qFromLittleEndian<quint32>(header_.data());
    deletedCount_ = qFromLittleEndian<quint32>(header_.data() + 4);
    recordLength_ = recordLength;
    firstOffset_ = firstOffset;
    buffer_.assign(size_t(recordLength_), ' ');
    cache_.resize(std::max(kReadAhead, size_t(recordLength_)));
    cacheSize_ = 0;
    current_ = 0;
    position_ = firstOffset_;
    readRecordAt(firstOffset_);
    return 0;
}

bool TDVRTable::sync() {
    return isOpen() && ::fsync(fd_) == 0;
}

void TDVRTable::CloseTable() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    fields_.clear();
    buffer_.clear();
    cache_.clear();
    cache_.shrink_to_fit();
    cacheSize_ = 0;
    current_ = 0;
    recordLength_ = 0;
}

ssize_t TDVRTable::cachedRead(int64_t offset, void* data, size_t size) {
    if (offset < cacheStart_ || offset + int64_t(size) > cacheStart_ + int64_t(cacheSize_)) {
        const ssize_t n = readFully(fd_, cache_.data(), cache_.size(), offset);
        cacheStart_ = offset;
        cacheSize_ = n > 0 ? size_t(n) : 0;
    }
    const int64_t avail = cacheStart_ + int64_t(cacheSize_) - offset;
    const size_t n = size_t(std::clamp<int64_t>(avail, 0, int64_t(size)));
    std::memcpy(data, cache_.data() + (offset - cacheStart_), n);
    return ssize_t(n);
}

bool TDVRTable::readRecordAt(int64_t offset) {
    if (cachedRead(offset, buffer_.data(), buffer_.size()) != ssize_t(buffer_.size())) {
        return false;
    }
    scramble(buffer_.data(), buffer_.size());
    return true;
}

bool TDVRTable::readLoop(uint8_t errorCode) {
    if (!isOpen())
        return false;
    bool reported = false;
    for (;;) {
        if (!readRecordAt(position_))
            return false;
        position_ += recordLength_;
        ++current_;
        const uint8_t status = buffer_[0];
        if (status == kDvrLive)
            return true;
        if (status == kDvrDeleted) {
            if (includeDeleted_)
                return true;
            continue;
        }
        if (!reported) {
            reported = true;
            setError(errorCode);
        }
    }
}

bool TDVRTable::First() {
    if (!isOpen())
        return false;
    position_ = firstOffset_;
    current_ = 0;
    return readLoop(kDvrErrFirstRecord);
}

bool TDVRTable::Next() {
    return readLoop(kDvrErrNextRecord);
}

bool TDVRTable::GoTo(int recordNumber) {
    if (!isOpen())
        return false;
    if (recordNumber < 0)
        return true;
    std::fill(buffer_.begin(), buffer_.end(), uint8_t(' '));
    const int64_t offset = firstOffset_ + int64_t(recordNumber) * recordLength_;
    if (!readRecordAt(offset))
        std::fill(buffer_.begin(), buffer_.end(), uint8_t(' '));
    position_ = offset + recordLength_;
    current_ = recordNumber + 1;
    return true;
}

bool TDVRTable::writeAt(int64_t offset, const void* data, size_t size) {
    if (!isOpen() || readOnly_)
        return false;
    cacheSize_ = 0;
    if (!writeAllowed(fileName_))
        return false;
    if (!writeFully(fd_, data, size, offset)) {
        writeFailed(fileName_, systemErrorText(errno ? errno : EIO));
        return false;
    }
    writeSucceeded(fileName_);
    return true;
}

bool TDVRTable::writeCurrentRecord() {
    const int64_t offset = position_ - recordLength_;
    struct stat st {};
    // Only a record that is in the file is written back: a GoTo beyond the
    // end must not grow the file with a record of spaces.
    if (offset < firstOffset_ || ::fstat(fd_, &st) != 0 || offset + recordLength_ > st.st_size) {
        return false;
    }
    std::vector<uint8_t> out(buffer_);
    scramble(out.data(), out.size());
    return writeAt(offset, out.data(), out.size());
}

uint32_t TDVRTable::RecordsInFile() const {
    struct stat st {};
    if (!isOpen() || recordLength_ <= 0 || ::fstat(fd_, &st) != 0 || st.st_size <= firstOffset_)
        return 0;
    return uint32_t(std::min<int64_t>((st.st_size - firstOffset_) / recordLength_, UINT32_MAX));
}

int TDVRTable::Append(const QStringList& texts, int lastIndex) {
    if (!isOpen() || readOnly_)
        return -1;
    std::vector<uint8_t> rec(size_t(recordLength_), 0);
    rec[0] = kDvrLive;
    for (const auto& f : fields_) {
        if (f->Index() > lastIndex || f->Index() >= texts.size())
            continue;
        const QByteArray b = cp1251::encode(texts[f->Index()]).left(f->Length());
        std::memcpy(rec.data() + f->Position(), b.constData(), size_t(b.size()));
    }
    struct stat st {};
    if (::fstat(fd_, &st) != 0)
        return -1;
    // A record cut short by an earlier crash is overwritten, so the new record
    // starts on a record boundary and stays readable.
    const int64_t whole = std::max<int64_t>(0, (st.st_size - firstOffset_) / recordLength_);
    const int64_t end = firstOffset_ + whole * recordLength_;
    scramble(rec.data(), rec.size());
    if (!writeAt(end, rec.data(), rec.size()))
        return -1;
    const uint32_t count = uint32_t((end + recordLength_ - firstOffset_) / recordLength_);
    uint8_t le[4];
    qToLittleEndian<quint32>(count, le);
    if (!writeAt(0, le, sizeof le))
        return -1;
    recordCount_ = count;
    std::memcpy(header_.data(), le, sizeof le);
    return int(count);
}

int TDVRTable::DeleteCurrent() {
    if (!isOpen() || current_ <= 0)
        return 0;
    const uint8_t old = buffer_[0];
    buffer_[0] = kDvrDeleted;
    if (!writeCurrentRecord()) {
        buffer_[0] = old;
        return 0;
    }
    ++deletedCount_;
    uint8_t le[4];
    qToLittleEndian<quint32>(deletedCount_, le);
    writeAt(4, le, sizeof le);
    std::memcpy(header_.data() + 4, le, sizeof le);
    return 1;
}

}  // namespace orvel
