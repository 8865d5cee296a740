#pragma once
// The subscriber table file: a 16-byte header, 24-byte field descriptors, a
// 0x0D terminator and fixed-length records of character fields, each record
// led by a status byte (0x40 live, 0x2A deleted). In scrambled mode every
// record byte is stored XORed with 0x3D. Storage failures are reported by
// result codes only.

#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

namespace orvel {

class TDVRTable;

inline constexpr int kDvrHeaderSize = 16;
inline constexpr int kDvrDescriptorSize = 24;
inline constexpr int kDvrMaxFields = 22;
inline constexpr int kDvrMaxRecordLength = 10240;
inline constexpr uint8_t kDvrLive = 0x40;
inline constexpr uint8_t kDvrDeleted = 0x2A;
inline constexpr uint8_t kDvrTerminator = 0x0D;
inline constexpr uint8_t kDvrScrambleKey = 0x3D;

// Error codes of the table.
enum : uint8_t {
    kDvrErrNone = 0,
    kDvrErrHeader = 1,       // bad header: too many fields or too long a record
    kDvrErrFirstRecord = 2,  // First met an unreadable record
    kDvrErrNextRecord = 4,   // Next met an unreadable record
    kDvrErrReadOnly = 8,     // opened for reading only; writes fail
};

class TDVRField {
public:
    TDVRField(TDVRTable* table, QString name, int length, int index, int position)
        : table_(table),
          name_(std::move(name)),
          length_(length),
          index_(index),
          position_(position) {}

    // The 11 characters of the descriptor, trailing spaces included.
    const QString& Name() const { return name_; }
    QString trimmedName() const { return name_.trimmed(); }
    int Length() const { return length_; }
    int Index() const { return index_; }
    int Position() const { return position_; }

    // Text of the current record, up to its first zero byte.
    QString AsString() const;
    // The same as raw Windows-1251 bytes (no copy; valid until the next read).
    std::string_view raw() const;
    // The text trimmed and read as a decimal integer; 0 when it is not one.
    int AsInteger() const;
    // Writes the text into the field and the whole current record back to
    // its place in the file. False when nothing could be written.
    bool SetAsString(const QString& text);

private:
    TDVRTable* table_;
    QString name_;
    int length_;
    int index_;
    int position_;
};

class TDVRTable {
public:
    explicit TDVRTable(QString fileName = QString());
    ~TDVRTable();
    TDVRTable(const TDVRTable&) = delete;
    TDVRTable& operator=(const TDVRTable&) = delete;

    const QString& fileName() const { return fileName_; }
    void setFileName(QString name);

    // Field definition: "NAME       ;C;05;LLL;D" (name in characters 1-11,
    // type 13, length 18-20, decimals 22).
    static QString additionalFieldDefinition(const QString& name, int length);
    static QStringList standardFieldDefinitions();

    // Writes an empty table with these fields (aside, then renamed over the
    // file); the table is closed afterwards. 0 or -1.
    int CreateTable(const QStringList& definitions);
    // 0 when open, -1 otherwise (see LastError()).
    int OpenTable(int scrambled = 0);
    void CloseTable();
    // Forces written records to the disk.
    bool sync();
    bool isOpen() const { return fd_ >= 0; }
    bool scrambled() const { return scrambled_ != 0; }

    bool First();
    bool Next();
    bool GoTo(int recordNumber);
    // Appends a live record from `texts` (fields 0..lastIndex); returns the
    // new record count or -1.
    int Append(const QStringList& texts, int lastIndex);
    int DeleteCurrent();

    int FieldCount() const { return int(fields_.size()); }
    TDVRField* Field(int index) const {
        return index >= 0 && index < int(fields_.size()) ? fields_[size_t(index)].get() : nullptr;
    }
    // Records in the file, live and deleted (as the header counts them).
    uint32_t RecordCount() const { return recordCount_; }
    // Whole records the file holds now, whatever its header claims.
    uint32_t RecordsInFile() const;
    uint32_t DeletedCount() const { return deletedCount_; }
    int RecordLength() const { return recordLength_; }
    int FirstRecordOffset() const { return firstOffset_; }
    // One more than the number of the record last read.
    int CurrentRecord() const { return current_; }
    bool IncludeDeleted() const { return includeDeleted_; }
    void setIncludeDeleted(bool on) { includeDeleted_ = on; }
    uint8_t LastError() const { return lastError_; }
    bool readOnly() const { return readOnly_; }
    // Status byte of the current record (plain).
    uint8_t currentStatus() const { return buffer_.empty() ? 0 : buffer_[0]; }

    // Raised whenever an error code is set.
    std::function<void(TDVRTable&)> onError;

private:
    friend class TDVRField;

    bool readRecordAt(int64_t offset);
    bool readLoop(uint8_t errorCode);
    bool writeCurrentRecord();
    bool writeAt(int64_t offset, const void* data, size_t size);
    void setError(uint8_t code);
    void scramble(uint8_t* p, size_t n) const;
    ssize_t cachedRead(int64_t offset, void* data, size_t size);

    QString fileName_;
    int fd_ = -1;
    bool readOnly_ = false;
    uint16_t scrambled_ = 0;
    uint8_t key_ = kDvrScrambleKey;
    int recordLength_ = 0;
    int firstOffset_ = 0;
    std::array<uint8_t, kDvrHeaderSize> header_{};
    uint32_t recordCount_ = 0;
    uint32_t deletedCount_ = 0;
    std::vector<uint8_t> buffer_;
    std::vector<std::unique_ptr<TDVRField>> fields_;
    int current_ = 0;
    int64_t position_ = 0;  // file offset just behind the record last read
    bool includeDeleted_ = false;
    uint8_t lastError_ = kDvrErrNone;

    // Read-ahead for sequential passes; any write drops it.
    std::vector<uint8_t> cache_;
    int64_t cacheStart_ = 0;
    size_t cacheSize_ = 0;
};

}  // namespace orvel
