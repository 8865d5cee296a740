#include "core/operators_file.h"

#include <sodium.h>

#include <QFile>
#include <QFileInfo>
#include <QtEndian>
#include <cstring>

#include "core/cp1251.h"
#include "core/safe_file.h"
#include "util/decrypt.h"

namespace orvel {
namespace {

constexpr char kArgon2idPrefix[] = "$argon2id$v=19$m=";

std::uint16_t decodeWord(const char* record, int offset) {
    char field[2];
    std::memcpy(field, record + offset, 2);
    util::Decrypt(field, 2, util::kDecipher);
    return qFromLittleEndian<std::uint16_t>(field);
}

// The text of a zero-ended field; nullopt when the field holds no zero.
std::optional<QByteArray> decodeText(const char* record, int offset, int size) {
    char field[kOperatorHashSize];  // the largest text field
    std::memcpy(field, record + offset, size_t(size));
    util::Decrypt(field, size, util::kDecipher);
    const void* end = std::memchr(field, 0, size_t(size));
    if (!end)
        return std::nullopt;
    return QByteArray(field, int(static_cast<const char*>(end) - field));
}

// The hash lives in bytes the program never used; it is kept as it is, not
// enciphered: it reveals nothing and needs no key.
std::optional<QByteArray> plainText(const char* record, int offset, int size) {
    const void* end = std::memchr(record + offset, 0, size_t(size));
    if (!end)
        return std::nullopt;
    return QByteArray(record + offset, int(static_cast<const char*>(end) - (record + offset)));
}

void putWord(char* record, int offset, std::uint16_t value) {
    qToLittleEndian(value, record + offset);
    util::Encrypt(record + offset, 2);
}

void putText(char* record, int offset, int size, const QByteArray& text) {
    std::memcpy(record + offset, text.constData(), size_t(text.size()));
    util::Encrypt(record + offset, size);
}

// Windows-1251 bytes of `text` when every character has a place in the code
// page and the bytes fit a field of `size` with its zero.
std::optional<QByteArray> fieldText(const QString& text, int size) {
    const QByteArray bytes = cp1251::encode(text);
    if (bytes.size() >= size || cp1251::decode(bytes) != text || bytes.contains('\0'))
        return std::nullopt;
    return bytes;
}

// Reads a decimal number of at most 10 digits at `p`; advances `p`.
bool readNumber(const char*& p, const char* end, std::uint64_t* value) {
    const char* start = p;
    std::uint64_t v = 0;
    while (p < end && *p >= '0' && *p <= '9' && p - start < 10)
        v = v * 10 + std::uint64_t(*p++ - '0');
    *value = v;
    return p > start;
}

bool expect(const char*& p, const char* end, const char* text) {
    const size_t n = std::strlen(text);
    if (size_t(end - p) < n || std::memcmp(p, text, n) != 0)
        return false;
    p += n;
    return true;
}

// "$argon2id$v=19$m=<KiB>,t=<passes>,p=1$<salt>$<hash>" within the limits.
bool hashWithinLimits(const QByteArray& hash, const TPasswordHashLimits& limits) {
    if (hash.size() >= int(crypto_pwhash_STRBYTES))
        return false;
    const char* p = hash.constData();
    const char* end = p + hash.size();
    std::uint64_t memory = 0, passes = 0, lanes = 0;
    return expect(p, end, kArgon2idPrefix) && readNumber(p, end, &memory) &&
           expect(p, end, ",t=") && readNumber(p, end, &passes) && expect(p, end, ",p=") &&
           readNumber(p, end, &lanes) && expect(p, end, "$") && memory >= 8 &&
           memory <= limits.maxMemoryKiB && passes >= 1 && passes <= limits.maxPasses &&
           lanes == 1;
}

bool sodiumReady() {
    static const bool ready = sodium_init() >= 0;
    return ready;
}

}  // namespace

bool TOperatorFileRecord::keepsHash() const {
    return password && *password == QByteArray(kPasswordHashMarker);
}

TOperatorFileRecord decodeOperatorRecord(const char* record) {
    TOperatorFileRecord r;
    r.rights = decodeWord(record, kOperatorRightsOffset);
    r.name = decodeText(record, kOperatorNameOffset, kOperatorNameSize);
    r.password = decodeText(record, kOperatorPasswordOffset, kOperatorPasswordSize);
    if (r.keepsHash())
        r.hash = plainText(record, kOperatorHashOffset, kOperatorHashSize);
    r.value1 = decodeWord(record, kOperatorValue1Offset);
    r.value2 = decodeWord(record, kOperatorValue2Offset);
    return r;
}

QByteArray encodeOperatorRecord(const TOperatorEntry& entry, QString* error) {
    const auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return QByteArray();
    };
    const auto name = fieldText(entry.name, kOperatorNameSize);
    if (!name || name->isEmpty())
        return fail(QStringLiteral("Имя оператора должно быть непустым, не длиннее %1 знаков "
                                   "и записываться в кодировке Windows-1251")
                        .arg(kOperatorTextMax));
    QByteArray password = QByteArray(kPasswordHashMarker);
    if (entry.passwordHash.isEmpty()) {
        const auto plain = fieldText(entry.password, kOperatorPasswordSize);
        if (!plain || plain->startsWith('\x01'))
            return fail(QStringLiteral("Пароль не помещается в запись"));
        password = *plain;
    } else if (entry.passwordHash.size() >= kOperatorHashSize ||
               entry.passwordHash.contains('\0')) {
        return fail(QStringLiteral("Хэш пароля не помещается в запись"));
    }
    QByteArray record(kOperatorRecordSize, '\0');
    char* r = record.data();
    putWord(r, kOperatorRightsOffset, entry.rights);
    putText(r, kOperatorNameOffset, kOperatorNameSize, *name);
    if (!entry.passwordHash.isEmpty())
        std::memcpy(r + kOperatorHashOffset, entry.passwordHash.constData(),
                    size_t(entry.passwordHash.size()));
    putText(r, kOperatorPasswordOffset, kOperatorPasswordSize, password);
    putWord(r, kOperatorValue1Offset, entry.value1);
    putWord(r, kOperatorValue2Offset, entry.value2);
    return record;
}

QByteArray hashOperatorPassword(const QString& password, unsigned long long opsLimit,
                                std::size_t memLimit) {
    if (!sodiumReady())
        return {};
    const QByteArray utf8 = password.toUtf8();
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str_alg(out, utf8.constData(), size_t(utf8.size()),
                              opsLimit ? opsLimit : crypto_pwhash_OPSLIMIT_INTERACTIVE,
                              memLimit ? memLimit : crypto_pwhash_MEMLIMIT_INTERACTIVE,
                              crypto_pwhash_ALG_ARGON2ID13) != 0)
        return {};
    return QByteArray(out);
}

bool verifyOperatorPassword(const QByteArray& hash, const QString& password,
                            const TPasswordHashLimits& limits) {
    if (!sodiumReady() || !hashWithinLimits(hash, limits))
        return false;
    const QByteArray utf8 = password.toUtf8();
    // `hash` is a QByteArray: its data is zero-ended, as libsodium wants.
    return crypto_pwhash_str_verify(hash.constData(), utf8.constData(), size_t(utf8.size())) == 0;
}

TOperatorCheckResult checkOperatorRecords(QIODevice& in, const Credentials& credentials,
                                          const TPasswordHashLimits& limits) {
    TOperatorCheckResult result;
    result.fileRead = true;
    char record[kOperatorRecordSize];
    // A device that never ends (a link to /dev/zero) is read no further
    // than the largest file accepted.
    for (qint64 read = 0; read < kMaxOperatorsFileSize; read += kOperatorRecordSize) {
        if (in.read(record, kOperatorRecordSize) != kOperatorRecordSize)
            break;
        TOperatorFileRecord r = decodeOperatorRecord(record);
        // A record without a name is nobody's: an empty name never logs in.
        if (!r.name || r.name->isEmpty() || cp1251::decode(*r.name) != credentials.name)
            continue;
        result.operatorFound = true;
        if (r.keepsHash())
            result.passwordCorrect = r.hash && verifyOperatorPassword(*r.hash, credentials.password,
                                                                      limits);
        else
            result.passwordCorrect = r.password && cp1251::decode(*r.password) == credentials.password;
        if (result.passwordCorrect)
            result.record = std::move(r);
        break;
    }
    return result;
}

TOperatorCheckResult checkOperatorFile(const QString& path, const Credentials& credentials) {
    const QFileInfo info(path);
    QFile file(path);
    if (!info.isFile() || info.size() > kMaxOperatorsFileSize || !file.open(QIODevice::ReadOnly))
        return {};
    return checkOperatorRecords(file, credentials);
}

bool loadOperatorsFile(const QString& path, TOperatorsFileContents* contents, QString* error) {
    *contents = {};
    if (!QFileInfo::exists(path))
        return true;
    QFile file(path);
    if (!QFileInfo(path).isFile() || QFileInfo(path).size() > kMaxOperatorsFileSize) {
        *error = QStringLiteral("Файл слишком велик для файла операторов: ") + path;
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("Не удаётся прочитать ") + path + QStringLiteral(": ") +
                 file.errorString();
        return false;
    }
    const QByteArray all = file.readAll();
    const qsizetype whole = all.size() / kOperatorRecordSize;
    for (qsizetype k = 0; k < whole; ++k)
        contents->records << all.mid(k * kOperatorRecordSize, kOperatorRecordSize);
    contents->droppedTail = all.size() % kOperatorRecordSize != 0;
    return true;
}

bool saveOperatorsFile(const QString& path, const QList<QByteArray>& records, QString* error) {
    QByteArray bytes;
    for (const QByteArray& r : records) {
        if (r.size() != kOperatorRecordSize) {
            *error = QStringLiteral("Ошибка записи ") + path;
            return false;
        }
        bytes += r;
    }
    // The aside file gets the mode before any byte is in it.
    QString why;
    if (!writeFileSafely(path, bytes, &why, /*ownerOnly=*/true)) {
        *error = QStringLiteral("Не удаётся записать ") + path + QStringLiteral(": ") + why;
        return false;
    }
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return true;
}

}  // namespace orvel
