// CWavFileReader: a message WAVE file mapped privately (copy-on-write) into
// memory. The message is prepared and played from the mapping; changes never
// reach the file on disk. Every chunk is checked to lie inside the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace orvel {

class CWavFileReader {
public:
    static constexpr uint16_t kFormatPcm = 1;
    static constexpr uint16_t kFormatALaw = 6;
    static constexpr uint16_t kFormatMuLaw = 7;

    CWavFileReader() = default;
    ~CWavFileReader();
    CWavFileReader(const CWavFileReader&) = delete;
    CWavFileReader& operator=(const CWavFileReader&) = delete;

    // Closes any previous mapping, maps the file and checks its chunks.
    // 0, or -1 on any failure (logged).
    int open(const std::string& path);
    void close();

    uint8_t* data() { return data_; }
    const uint8_t* data() const { return data_; }
    uint32_t dataSize() const { return dataSize_; }
    // Sample frames: for PCM always from the data size; otherwise from the
    // "fact" chunk, never more than the data holds.
    uint32_t sampleCount() const { return sampleCount_; }
    // The data as 16-bit samples. The data chunk may start at an odd offset;
    // it is then moved down by one byte inside the private copy, so the
    // pointer is always aligned. Null when nothing is open.
    int16_t* samples16();

    // 0 when no format is known.
    uint32_t sampleRate() const;
    uint16_t channels() const;
    uint16_t formatTag() const;
    uint16_t bitsPerSample() const;
    const std::string& fileName() const { return path_; }

private:
    // The first occurrence of `tag` anywhere in the file; null when absent.
    // `inside` tells whether the chunk it heads lies within the file.
    uint8_t* findChunk(const char* tag, uint32_t& size, bool& inside, bool logMissing);
    uint16_t formatU16(std::size_t offset) const;

    uint8_t* base_ = nullptr;
    std::size_t length_ = 0;
    std::string path_;
    const uint8_t* format_ = nullptr;
    uint32_t formatSize_ = 0;
    uint8_t* data_ = nullptr;
    uint32_t dataSize_ = 0;
    uint32_t sampleCount_ = 0;
};

}  // namespace orvel
