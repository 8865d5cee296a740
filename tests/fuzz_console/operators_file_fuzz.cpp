// Fuzz target: any bytes as an operators file, checked against a name and a
// password taken from the input's first bytes:
//   byte 0: name length (mod 21), byte 1: password length (mod 21),
//   then the name and the password (Windows-1251), then the file.
// Every whole record is also deciphered on its own.
#include <QBuffer>
#include <QByteArray>
#include <cstddef>
#include <cstdint>

#include "core/cp1251.h"
#include "core/operators_file.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    const size_t nameLength = data[0] % 21;
    const size_t passwordLength = data[1] % 21;
    if (size < 2 + nameLength + passwordLength)
        return 0;
    const char* p = reinterpret_cast<const char*>(data) + 2;
    orvel::Credentials entered;
    entered.name = orvel::cp1251::decode(std::string_view(p, nameLength));
    entered.password = orvel::cp1251::decode(std::string_view(p + nameLength, passwordLength));
    p += nameLength + passwordLength;
    const size_t fileSize = size - 2 - nameLength - passwordLength;
    // Exact copy: a read past the file's end shows up under the sanitizer.
    QByteArray file(p, qsizetype(fileSize));

    // Small hash costs only: a forged hash must not make one run take
    // seconds, and the bounds themselves are what is under test.
    orvel::TPasswordHashLimits limits;
    limits.maxMemoryKiB = 64;
    limits.maxPasses = 2;
    QBuffer in(&file);
    in.open(QIODevice::ReadOnly);
    const orvel::TOperatorCheckResult r = orvel::checkOperatorRecords(in, entered, limits);
    if (r.passwordCorrect && !r.operatorFound)
        __builtin_trap();

    for (size_t at = 0; at + orvel::kOperatorRecordSize <= fileSize;
         at += orvel::kOperatorRecordSize) {
        const orvel::TOperatorFileRecord rec = orvel::decodeOperatorRecord(p + at);
        if (rec.name && rec.name->size() >= orvel::kOperatorNameSize)
            __builtin_trap();
        if (rec.hash)
            (void)orvel::verifyOperatorPassword(*rec.hash, entered.password, limits);
    }
    return 0;
}
