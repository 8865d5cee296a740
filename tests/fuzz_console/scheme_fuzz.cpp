// Fuzz target: any bytes as a scheme file ".sch": read from the record and
// through the file, written back and read again (what is written must read).
#include <cstdlib>

#include "fuzz_file.h"
#include "notify/notify_scheme.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const orvel::TNotifyScheme fromRecord = orvel::TNotifyScheme::fromBytes(bytes);
    const QByteArray again = fromRecord.toBytes();
    // A scheme this program wrote is one it reads the same way.
    if (orvel::TNotifyScheme::fromBytes(again).toBytes() != again)
        std::abort();
    const QString path = orvel::fuzz::writeInput(QStringLiteral("Fuzz.sch"), data, size);
    if (!path.isEmpty())
        (void)orvel::TNotifyScheme::load(path);
    return 0;
}
