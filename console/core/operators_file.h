#pragma once
// The operators file (product word + "Users.dat"): a sequence of 202-byte
// records, one per operator, each field enciphered on its own with
// util::Decrypt. A partial record at the end of the file is ignored.
//
//   offset size  field
//        0    2  rights bit set, 16-bit little-endian
//        4   20  operator name, Windows-1251, ended by a zero byte
//       24  150  not used by the program; a password hash (below)
//      174   20  password, ended by a zero byte
//      194    2  a 16-bit value, kept
//      196    2  a 16-bit value, kept
//
// Records written by orvel-operators carry no password at all: the password
// field holds kPasswordHashMarker and bytes 24.. hold a salted Argon2id hash
// string (libsodium's crypto_pwhash_str, zero-ended), so nobody who reads the
// file can recover a password. Older records with an enciphered password are
// still accepted.

#include <QByteArray>
#include <QIODevice>
#include <QList>
#include <QString>
#include <cstdint>
#include <optional>

#include "core/login_loop.h"

namespace orvel {

inline constexpr int kOperatorRecordSize = 202;
inline constexpr int kOperatorRightsOffset = 0;
inline constexpr int kOperatorNameOffset = 4;
inline constexpr int kOperatorNameSize = 20;
inline constexpr int kOperatorHashOffset = 24;
inline constexpr int kOperatorHashSize = 150;
inline constexpr int kOperatorPasswordOffset = 174;
inline constexpr int kOperatorPasswordSize = 20;
inline constexpr int kOperatorValue1Offset = 194;
inline constexpr int kOperatorValue2Offset = 196;
// Longest name or legacy password: the field less its terminating zero.
inline constexpr int kOperatorTextMax = 19;
// No site keeps thousands of operators; a bigger file is refused rather
// than read for minutes (about 5000 records).
inline constexpr qint64 kMaxOperatorsFileSize = 1024 * 1024;

// The password field of a record that keeps a hash instead: a control
// character no typed password begins with.
inline constexpr char kPasswordHashMarker[] = "\x01" "ARGON2ID";

// One record, deciphered. A text field without its terminating zero inside
// the field is absent (nullopt): such a record never matches.
struct TOperatorFileRecord {
    std::uint16_t rights = 0;
    std::optional<QByteArray> name;      // Windows-1251 bytes
    std::optional<QByteArray> password;  // Windows-1251 bytes, or the marker
    std::optional<QByteArray> hash;      // only when password is the marker
    std::uint16_t value1 = 0;
    std::uint16_t value2 = 0;

    bool keepsHash() const;
};

// `record` holds exactly kOperatorRecordSize bytes.
TOperatorFileRecord decodeOperatorRecord(const char* record);

// What a new record holds, as plain text. `passwordHash` set: a hashed record
// (the password is not written); empty: the legacy form with `password`.
struct TOperatorEntry {
    std::uint16_t rights = 0;
    QString name;
    QString password;
    QByteArray passwordHash;
    std::uint16_t value1 = 0;
    std::uint16_t value2 = 0;
};

// The enciphered 202 bytes; empty with `error` when the name or the legacy
// password does not fit its field or the Windows-1251 code page, or the hash
// does not fit the unused bytes.
QByteArray encodeOperatorRecord(const TOperatorEntry& entry, QString* error = nullptr);

// Bounds a stored hash must respect before it is verified: a forged hash
// asking for gigabytes of memory or hours of passes is refused instead.
struct TPasswordHashLimits {
    std::uint32_t maxMemoryKiB = 256 * 1024;
    std::uint32_t maxPasses = 10;
};

// Argon2id hash string of the UTF-8 form of `password`; the default costs
// are libsodium's interactive ones (a login waits a fraction of a second).
// Empty when hashing failed (out of memory).
QByteArray hashOperatorPassword(const QString& password, unsigned long long opsLimit = 0,
                                std::size_t memLimit = 0);
// True when `hash` is a well-formed Argon2id string within `limits` and
// `password` matches it.
bool verifyOperatorPassword(const QByteArray& hash, const QString& password,
                            const TPasswordHashLimits& limits = {});

// The outcome of one check: operator found, password correct, and on
// success the record that matched.
struct TOperatorCheckResult {
    bool fileRead = false;  // false: missing, unreadable or too large
    bool operatorFound = false;
    bool passwordCorrect = false;
    TOperatorFileRecord record;  // filled when passwordCorrect
};

// Reads records from `in` until the first whole record with the entered
// name (exact, letter case significant); later records of the same name are
// never looked at. Reading stops at a partial record.
TOperatorCheckResult checkOperatorRecords(QIODevice& in, const Credentials& credentials,
                                          const TPasswordHashLimits& limits = {});
TOperatorCheckResult checkOperatorFile(const QString& path, const Credentials& credentials);

// The whole file for the operators tool: every whole record as stored, so
// that records it does not change are written back byte for byte. A partial
// record at the end is dropped (`droppedTail` tells). False with `error`
// when the file exists but cannot be read or is too large; a missing file
// is an empty list.
struct TOperatorsFileContents {
    QList<QByteArray> records;
    bool droppedTail = false;
};
bool loadOperatorsFile(const QString& path, TOperatorsFileContents* contents, QString* error);
// Writes aside and renames; the file is readable by its owner only (0600).
bool saveOperatorsFile(const QString& path, const QList<QByteArray>& records, QString* error);

}  // namespace orvel
