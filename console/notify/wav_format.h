#pragma once
// The format chunk of a message file and the warning the scheme editor shows
// for a file the lines cannot play (they need 16-bit mono at 16000 Hz).

#include <QString>
#include <optional>

namespace orvel {

struct TWavFormat {
    int tag = 0;
    int channels = 0;
    int rate = 0;
    int bits = 0;
};

// Nothing when the file is not a RIFF WAVE with a format chunk.
std::optional<TWavFormat> readWavFormat(const QString& path);
// Empty when the format suits a message; otherwise the warning's text.
QString wavFormatWarning(const std::optional<TWavFormat>& format);

}  // namespace orvel
