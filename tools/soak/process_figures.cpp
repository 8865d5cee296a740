#include "process_figures.h"

#include <dirent.h>
#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

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

std::string readThreadNames() {
    std::vector<std::string> names;
    if (DIR* d = ::opendir("/proc/self/task")) {
        while (dirent* e = ::readdir(d)) {
            if (e->d_name[0] == '.')
                continue;
            std::ifstream comm(std::string("/proc/self/task/") + e->d_name + "/comm");
            std::string name;
            std::getline(comm, name);
            names.push_back(name.empty() ? std::string("?") : name);
        }
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    std::string all;
    for (const std::string& n : names)
        all += (all.empty() ? "" : ", ") + n;
    return all;
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

int threadCount() {
    TProcessFigures f;
    long resident = 0;
    readStatus(f, resident);
    return f.threads;
}

void waitForThreads(int count, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (threadCount() > count && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

TProcessFigures sampleProcess() {
    TProcessFigures f;
    readStatus(f, f.residentKb);
    const struct mallinfo2 m = mallinfo2();
    f.heapInUseKb = long((m.uordblks + m.hblkhd) / 1024);
    ::malloc_trim(0);
    readStatus(f, f.trimmedResidentKb);
    f.descriptors = countEntries("/proc/self/fd");
    f.threadNames = readThreadNames();
    rusage usage{};
    if (::getrusage(RUSAGE_SELF, &usage) == 0) {
        f.userSeconds = double(usage.ru_utime.tv_sec) + double(usage.ru_utime.tv_usec) / 1e6;
        f.systemSeconds = double(usage.ru_stime.tv_sec) + double(usage.ru_stime.tv_usec) / 1e6;
    }
    ::getloadavg(f.loadAverage, 3);
    return f;
}

std::string describe(const TProcessFigures& f) {
    char text[224];
    std::snprintf(text, sizeof text,
                  "resident %ld KiB (%ld trimmed, heap in use %ld), descriptors %d, threads %d, "
                  "processor %.0f s user %.0f s system, load %.1f",
                  f.residentKb, f.trimmedResidentKb, f.heapInUseKb, f.descriptors, f.threads,
                  f.userSeconds, f.systemSeconds, f.loadAverage[0]);
    return text + std::string(" (threads: ") + f.threadNames + ")";
}

void keepMemoryMaps(const std::string& dir, int run) {
    const std::string base = dir + "/run-" + std::to_string(run);
    {
        std::ifstream in("/proc/self/smaps");
        std::ofstream out(base + ".smaps");
        out << in.rdbuf();
    }
    if (FILE* f = std::fopen((base + ".malloc.xml").c_str(), "w")) {
        ::malloc_info(0, f);
        std::fclose(f);
    }
}

}  // namespace orvel::soak
