// Fuzz target: any bytes as a run's line-state log, read into the log cache
// (sorted, searched, matched) as the results are built from it.
#include "diag/line_state_log.h"
#include "diag/log_cache.h"
#include "fuzz_file.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString path = orvel::fuzz::writeInput(QStringLiteral("Fuzz.log"), data, size);
    if (path.isEmpty())
        return 0;
    orvel::TLogCache cache;
    if (cache.loadRun(path) && cache.Count() > 0) {
        const orvel::TLogCacheEntry first = *cache.Item(0);
        (void)cache.FindTime(first.name, first.number, QStringLiteral("-"));
        cache.MarkMatched(first.name, first.number);
        (void)orvel::lineStateText(first.state);
        cache.Delete(0);
    }
    return 0;
}
