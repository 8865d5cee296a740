// Fuzz target: any bytes as a state dump ".onsd", loaded over a small
// subscriber list.
#include "data/user_list.h"
#include "fuzz_file.h"
#include "fuzz_subscribers.h"
#include "notify/state_dump.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString path = orvel::fuzz::writeInput(QStringLiteral("Fuzz.onsd"), data, size);
    if (!path.isEmpty())
        (void)orvel::LoadStateDump(path, orvel::fuzz::fourSubscribers(true));
    if (size >= 66)
        (void)orvel::TDumpRecord::fromBytes(reinterpret_cast<const char*>(data));
    return 0;
}
