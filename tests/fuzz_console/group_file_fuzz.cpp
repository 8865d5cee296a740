// Fuzz target: any bytes as a group file ".lst": read, written back and read
// again (every ID read is kept).
#include <cstdlib>

#include "data/user_group.h"
#include "fuzz_file.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString path = orvel::fuzz::writeInput(QStringLiteral("Fuzz.lst"), data, size);
    if (path.isEmpty())
        return 0;
    const QList<int> ids = orvel::readGroupIds(path);
    const QString again = path + QStringLiteral(".again");
    if (orvel::writeGroupIds(again, ids) && orvel::readGroupIds(again) != ids)
        std::abort();
    return 0;
}
