#pragma once
// The system information text of the developer report: the computer (system,
// processor, memory, disk), the program directory, the line library's
// version and, per board and line-interface unit, what the line library
// reports about them.

#include <QString>
#include <cstdint>
#include <optional>

#include "notify/line_library.h"

namespace orvel {

// Where the facts about the computer are read (tests point them elsewhere).
struct SystemInfoSources {
    QString osRelease = QStringLiteral("/etc/os-release");
    QString osReleaseFallback = QStringLiteral("/usr/lib/os-release");
    QString cpuInfo = QStringLiteral("/proc/cpuinfo");
    QString memInfo = QStringLiteral("/proc/meminfo");
};

struct SystemFacts {
    QString os;
    QString processor;
    uint64_t totalMemory = 0;  // bytes
    uint64_t freeMemory = 0;   // bytes
    QString programDir;
    std::optional<uint64_t> diskSize;  // bytes; unset when unreadable
    std::optional<uint64_t> diskFree;  // bytes available to the user
    QString libraryName;               // file name of the line library
    QString libraryVersion;            // empty: the version line is left out
    ProgramStateRecord state{};        // as GetProgrammState filled it
};

// The system's name from an os-release file: PRETTY_NAME, else NAME and
// VERSION; "Неизвестно" when the file names none, "Ошибка" when neither
// file can be read.
QString osNameFromRelease(const SystemInfoSources& sources);
// The first processor's model name, blanks around it removed; empty when
// there is none.
QString processorFromCpuInfo(const QString& cpuInfoPath);
// Total and available memory in bytes; false when unreadable.
bool memoryFromMemInfo(const QString& memInfoPath, uint64_t& total, uint64_t& available);
// "0.1.0" of a library file name "liborvel.so.0.1.0"; empty without a version.
QString versionFromLibraryFile(const QString& fileName);

// Every fact, the boards' through the program's line library interface.
SystemFacts gatherSystemFacts(const QString& programDir, ILineLibrary* library,
                              const SystemInfoSources& sources = {});

// Texts of the unit status words.
QString converterStateText(uint32_t state);
QString unitStateText(uint32_t state);

// The text: one entry per line, each ended by CR LF.
QString systemInfoText(const SystemFacts& facts);

}  // namespace orvel
