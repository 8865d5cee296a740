#include "process_figures.h"

#include <dirent.h>
#include <malloc.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace orvel::soak {

namespace {
int countEntries(const char* dir) {
    int n = 0;
    if (DIR* d = ::opendir(dir)) {
        while (dirent* e = ::readdir(d))
            if (e->d_name[0] != '.')
                ++n;
        ::closedir(d);
        --n;  // the descriptor of the listing itself
    }
    return n;
}
}  // namespace

namespace {
void readStatus(TProcessFigures& f, long& resident) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        std::istringstream in(line);
        std::string key;
        in >> key;
        if (key == "VmRSS:")
            in >> resident;
        else if (key == "Threads:")
            in >> f.threads;
    }
}
}  // namespace

TProcessFigures sampleProcess() {
    TProcessFigures f;
    readStatus(f, f.residentKb);
    const struct mallinfo2 m = mallinfo2();
    f.heapInUseKb = long((m.uordblks + m.hblkhd) / 1024);
    ::malloc_trim(0);
    readStatus(f, f.trimmedResidentKb);
    f.descriptors = countEntries("/proc/self/fd");
    return f;
}

std::string describe(const TProcessFigures& f) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "resident %ld KiB (%ld trimmed, heap in use %ld), descriptors %d, threads %d",
                  f.residentKb, f.trimmedResidentKb, f.heapInUseKb, f.descriptors, f.threads);
    return text;
}

}  // namespace orvel::soak
