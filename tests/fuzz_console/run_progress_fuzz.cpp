// Fuzz target: any bytes as the run's progress file: read, applied to a
// small subscriber list, written back and read again.
#include <cstdlib>

#include "data/user_list.h"
#include "fuzz_file.h"
#include "fuzz_subscribers.h"
#include "notify/run_progress.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto progress = orvel::TRunProgress::fromBytes(bytes);
    if (!progress)
        return 0;
    (void)progress->apply(orvel::fuzz::fourSubscribers(false));
    (void)progress->notifiedCount();
    // What this program writes, it reads back whole.
    const QByteArray again = progress->toBytes();
    const auto reread = orvel::TRunProgress::fromBytes(again);
    if (!reread || reread->entries.size() != progress->entries.size())
        std::abort();
    return 0;
}
