// Fuzz target: any bytes as a wave file opened by the recorder's player.
// Whatever the header says, the data found lies inside the file, whole
// frames only, and nothing divides by zero.
#include <QBuffer>
#include <QByteArray>
#include <cstdint>
#include <cstdlib>

#include "media/riff_explorer.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    QBuffer file(&bytes);
    file.open(QIODevice::ReadOnly);
    QString reason;
    const auto info = orvel::readWaveInfo(&file, &reason);
    if (info) {
        if (info->blockAlign == 0 || info->bytesPerSecond == 0 ||
            info->dataOffset + qint64(info->dataSize) > qint64(size) ||
            info->dataSize % info->blockAlign != 0 ||
            info->samples > info->dataSize / info->blockAlign)
            std::abort();
    } else if (reason.isEmpty()) {
        std::abort();  // every refusal says why
    }
    // Paths the scheme editor and the player use, and deeper ones.
    orvel::TRiffExplorer riff(&file);
    for (const char* path : {"RIFF\\fact", "RIFF\\LIST\\INFO", "RIFF\\data\\x"}) {
        if (riff.DescendPath(QString::fromLatin1(path))) {
            char chunk[64];
            qint64 total = 0;
            for (qint64 n; (n = riff.ReadChunk(chunk, sizeof chunk)) > 0;)
                total += n;
            if (total > qint64(riff.chunk().size))
                std::abort();
        }
    }
    return 0;
}
