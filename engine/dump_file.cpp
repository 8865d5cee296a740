#include "dump_file.h"

#include <fcntl.h>
#include <unistd.h>

namespace orvel {

DumpFile::~DumpFile() {
    close();
}

bool DumpFile::open(DumpBit bit, uint32_t mask, const std::string& channelDir,
                    const std::string& callPrefix) {
    close();
    if ((mask & bit) == 0) {
        return false;
    }
    return openPath(dumpFileName(bit, channelDir, callPrefix));
}

bool DumpFile::openPath(const std::string& path) {
    close();
    if (path.empty()) {
        return false;
    }
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    return fd_ >= 0;
}

void DumpFile::close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

void DumpFile::write(const void* data, std::size_t bytes) {
    if (fd_ < 0) {
        return;
    }
    const char* p = static_cast<const char*>(data);
    while (bytes > 0) {
        ssize_t n = ::write(fd_, p, bytes);
        if (n <= 0) {
            return;
        }
        p += n;
        bytes -= static_cast<std::size_t>(n);
    }
}

void DumpFile::writePair(int16_t first, int16_t second) {
    // The host is little-endian (x86-64, arm64), as the dump format is.
    int16_t pair[2] = {first, second};
    write(pair, sizeof pair);
}

}  // namespace orvel
