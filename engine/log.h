// The engine's text log: one file for the whole process.
//
// ACE keeps its output stream per thread and hands it on only to threads it
// spawned itself, while our exports run on the program's threads and the
// listening output on the audio library's. So the file sits behind a
// process-wide ACE log backend, and every thread's log lines reach it, each
// with ACE's short prefix (time stamp and priority).
#pragma once

#include <cstdint>

namespace orvel::log {

// Sets up ACE's log object for the library: program name "orvel", nothing
// written until the file is enabled. Safe to call more than once.
void setUp();

// The logEnable export.
int32_t enable(const char* path, int32_t on);

bool fileIsOpen();

}  // namespace orvel::log
