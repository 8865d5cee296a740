#pragma once
// Reads the line states through the library's exports: the full report of
// every line when the library has it, otherwise the short array of 3 boards
// of 12 lines, spread into the same layout so that the rest of the program
// reads one layout only.

#include <cstdint>

#include "notify/line_library.h"

namespace orvel {

class TLineStateReader {
public:
    using FullReportFn = int32_t (*)(uint32_t* buffer, uint32_t words);
    using ShortReportFn = int32_t (*)(uint32_t* lineState);

    // `full` may be null (a library without the full report).
    TLineStateReader(FullReportFn full, ShortReportFn shortReport)
        : full_(full), short_(shortReport) {}

    // The result of the export called: 0 (or a word count) on success, -1
    // on failure; `out` is cleared first in every case.
    int32_t read(LineStateArray& out) const;
    TLineStateCoverage coverage() const;

private:
    FullReportFn full_;
    ShortReportFn short_;
};

}  // namespace orvel
