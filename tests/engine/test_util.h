// Small helpers shared by the engine's tests.
#pragma once

#include <dirent.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace orvel::testing {

// A fresh program directory, removed again at the end of the test.
class TempDir {
public:
    TempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "orvel-test-XXXXXX").string();
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        path_ = ::mkdtemp(buf.data());
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    void write(const std::string& name, const std::string& text) const {
        std::ofstream(file(name)) << text;
    }

private:
    std::string path_;
};

inline int threadCount() {
#if defined(__SANITIZE_THREAD__)
    // ThreadSanitizer adds a thread of its own at the first thread creation;
    // have it there before anything is counted.
    static const bool primed = [] {
        std::thread([] {}).join();
        return true;
    }();
    (void)primed;
#endif
    int count = 0;
    if (DIR* d = ::opendir("/proc/self/task")) {
        while (dirent* e = ::readdir(d)) {
            if (e->d_name[0] != '.') {
                ++count;
            }
        }
        ::closedir(d);
    }
    return count;
}

// Polls `done` until it holds or the (generous) timeout passes.
inline bool waitFor(const std::function<bool()>& done,
                    std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
        if (done()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return done();
}

// A joined thread can still be listed in /proc/self/task for a moment (the
// kernel wakes the joiner before it unlists the task), so a count that must
// fall back is waited for rather than read once.
inline bool threadsBackTo(int count) {
    return waitFor([count] { return threadCount() == count; }, std::chrono::seconds(5));
}

inline std::vector<std::string> filesIn(const std::string& dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(dir, ec)) {
        names.push_back(e.path().filename().string());
    }
    return names;
}

}  // namespace orvel::testing
