#pragma once
// TRiffExplorer: reads the chunks of a RIFF file by path ("RIFF\fmt ",
// "RIFF\data"). Every chunk is bounded by its parent and by the end of the
// file, so a size field never makes it read past what the file holds.
// TWaveInfo: the format and data of a PCM wave file, checked before anything
// is divided by it.

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <cstdint>
#include <optional>

namespace orvel {

struct TRiffChunk {
    QByteArray id;      // four characters
    uint32_t size = 0;  // as bounded by its parent
    qint64 dataOffset = 0;
    bool cut = false;  // the stored size reached past its parent
};

class TRiffExplorer {
public:
    // The device must be open for reading and seekable.
    explicit TRiffExplorer(QIODevice* device) : device_(device) {}

    // Descends from the start of the file through the chunks named by
    // `path` (four-character identifiers separated by "\"; a shorter name is
    // padded with blanks). False with the reason in error().
    bool DescendPath(const QString& path);
    // Reads up to `max` bytes from the current position, never past the end
    // of the current chunk. The number read.
    qint64 ReadChunk(char* buffer, qint64 max);

    const TRiffChunk& chunk() const { return chunk_; }
    const QString& error() const { return error_; }

private:
    std::optional<TRiffChunk> readHeader(qint64 offset, qint64 parentEnd);

    QIODevice* device_;
    TRiffChunk chunk_;
    qint64 readPos_ = 0;
    QString error_;
};

struct TWaveInfo {
    uint16_t tag = 0;
    uint16_t channels = 0;
    uint32_t rate = 0;
    uint32_t bytesPerSecond = 0;
    uint16_t blockAlign = 0;
    uint16_t bits = 0;
    qint64 dataOffset = 0;
    uint32_t dataSize = 0;
    uint32_t samples = 0;  // sample frames
    uint32_t durationMs = 0;
};

// Reads and checks the format of a wave file the player can play: PCM,
// one or two channels, 8 or 16 bits, block alignment = channels × bytes per
// sample, a rate of 1..192000. Nothing, with the reason, otherwise.
std::optional<TWaveInfo> readWaveInfo(QIODevice* device, QString* reason);

}  // namespace orvel
