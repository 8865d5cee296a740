#include "media/wav_file_reader.h"

#include <ace/Log_Msg.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace orvel {

namespace {

uint32_t readU32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, sizeof v);  // the host is little-endian, as RIFF is
    return v;
}

uint16_t readU16(const uint8_t* p) {
    uint16_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

constexpr std::size_t kChunkHeader = 8;
constexpr std::size_t kBasicFormat = 16;

}  // namespace

CWavFileReader::~CWavFileReader() {
    close();
}

void CWavFileReader::close() {
    if (base_ != nullptr) {
        ::munmap(base_, length_);
    }
    base_ = nullptr;
    length_ = 0;
    path_.clear();
    format_ = nullptr;
    formatSize_ = 0;
    data_ = nullptr;
    dataSize_ = 0;
    sampleCount_ = 0;
}

uint8_t* CWavFileReader::findChunk(const char* tag, uint32_t& size, bool& inside, bool logMissing) {
    size = 0;
    inside = false;
    const void* hit = ::memmem(base_, length_, tag, 4);
    if (hit == nullptr) {
        if (logMissing) {
            ACE_ERROR(
                (LM_ERROR, ACE_TEXT(" Error find %s chunk in file %s\n"), tag, path_.c_str()));
        }
        return nullptr;
    }
    const std::size_t offset = static_cast<const uint8_t*>(hit) - base_;
    if (offset + kChunkHeader > length_) {
        return base_ + length_;  // a tag in the last bytes: no room for its size
    }
    size = readU32(base_ + offset + 4);
    inside = size <= length_ - offset - kChunkHeader;
    return base_ + offset + kChunkHeader;
}

int CWavFileReader::open(const std::string& path) {
    close();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    void* map = MAP_FAILED;
    if (fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
        map = ::mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ | PROT_WRITE,
                     MAP_PRIVATE, fd, 0);
    }
    if (fd >= 0) {
        ::close(fd);
    }
    if (map == MAP_FAILED) {
        ACE_ERROR(
            (LM_ERROR, ACE_TEXT(" CWavFileReader::open: error map wav file %s\n"), path.c_str()));
        return -1;
    }
    base_ = static_cast<uint8_t*>(map);
    length_ = static_cast<std::size_t>(st.st_size);
    path_ = path;

    if (length_ < kChunkHeader || std::memcmp(base_, "RIFF", 4) != 0) {
        ACE_ERROR((LM_ERROR, ACE_TEXT(" CWavFileReader: bad riff signature %s\n"), "RIFF"));
        ACE_ERROR((LM_ERROR, ACE_TEXT(" WavFileReader : invalid RIFF chunk\n")));
        close();
        return -1;
    }
    const uint32_t riffSize = readU32(base_ + 4);
    if (riffSize != length_ - kChunkHeader) {
        ACE_ERROR((LM_ERROR, ACE_TEXT(" CWavFileReader: bad chunk size %u!=%u\n"), riffSize,
                   static_cast<unsigned>(length_ - kChunkHeader)));
        ACE_ERROR((LM_ERROR, ACE_TEXT(" WavFileReader : invalid RIFF chunk\n")));
        close();
        return -1;
    }

    uint32_t size = 0;
    bool inside = false;
    const uint8_t* fmt = findChunk("fmt ", size, inside, true);
    if (fmt == nullptr) {
        close();
        return -1;
    }
    // The chunk must be exactly the basic header, or the extended header
    // with its extension.
    bool fmtOk = inside && size >= kBasicFormat && size != kBasicFormat + 1;
    if (fmtOk) {
        format_ = fmt;
        formatSize_ = size < kBasicFormat + 1 ? kBasicFormat : 18u + readU16(fmt + 16);
        fmtOk = size == formatSize_ && channels() != 0;
    }
    if (!fmtOk) {
        ACE_ERROR((LM_ERROR, ACE_TEXT(" WavFileReader : invalid fmt chunk\n")));
        close();
        return -1;
    }

    uint8_t* data = findChunk("data", size, inside, true);
    if (data == nullptr) {
        close();
        return -1;
    }
    if (size == 0 || size > length_ || !inside) {
        ACE_ERROR((LM_ERROR, ACE_TEXT(" WavFileReader : invalid DATA chunk\n")));
        close();
        return -1;
    }
    data_ = data;
    dataSize_ = size;

    const uint32_t bytesPerSample = bitsPerSample() == 8 ? 1 : 2;
    const uint32_t fromData = dataSize_ / (bytesPerSample * channels());
    const uint8_t* fact = findChunk("fact", size, inside, true);
    const bool hasFact = fact != nullptr && inside && size >= 4;
    const uint16_t tag = formatTag();
    if (tag == kFormatPcm) {
        sampleCount_ = fromData;
    } else if (hasFact) {
        sampleCount_ = std::min(readU32(fact), fromData);
    } else if (tag == kFormatALaw || tag == kFormatMuLaw) {
        sampleCount_ = fromData;
    } else {
        ACE_ERROR((LM_ERROR, ACE_TEXT(" Chunk fact not exist!\n")));
        close();
        return -1;
    }
    return 0;
}

int16_t* CWavFileReader::samples16() {
    if (data_ == nullptr) {
        return nullptr;
    }
    if (reinterpret_cast<uintptr_t>(data_) % alignof(int16_t) != 0) {
        // The byte before the data is the last byte of the chunk's size
        // field, which is no longer needed.
        std::memmove(data_ - 1, data_, dataSize_);
        --data_;
    }
    return reinterpret_cast<int16_t*>(data_);
}

uint16_t CWavFileReader::formatU16(std::size_t offset) const {
    return format_ == nullptr ? 0 : readU16(format_ + offset);
}

uint32_t CWavFileReader::sampleRate() const {
    return format_ == nullptr ? 0 : readU32(format_ + 4);
}
uint16_t CWavFileReader::channels() const {
    return formatU16(2);
}
uint16_t CWavFileReader::formatTag() const {
    return formatU16(0);
}
uint16_t CWavFileReader::bitsPerSample() const {
    return formatU16(14);
}

}  // namespace orvel
