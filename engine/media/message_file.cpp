#include "media/message_file.h"

#include <cerrno>
#include <new>

#include "dsp/band_stop_filter.h"
#include "dsp/iir_filter.h"

namespace orvel {

namespace {

constexpr int kBandStopOrder = 11;  // 2048-point frames
constexpr float kBandLowHz = 200.0f;
constexpr float kBandHighHz = 700.0f;
constexpr int kExtraNotchPasses = 5;  // six passes in all

}  // namespace

bool isPlayableMessage(const CWavFileReader& reader) {
    return reader.formatTag() == CWavFileReader::kFormatPcm && reader.channels() == 1 &&
           reader.sampleRate() == kMessageRate && reader.bitsPerSample() == 16;
}

void prepareMessage(CWavFileReader& reader) {
    int16_t* samples = reader.samples16();
    const std::size_t count = reader.sampleCount();
    if (samples == nullptr || count == 0) {
        return;
    }
    dsp::CBandStopFilter bandStop;
    if (bandStop.init(kMessageRate, kBandStopOrder, kBandLowHz, kBandHighHz)) {
        bandStop.process(samples, count);
    }
    dsp::CIirFilter notch;
    notch.init(count, kMessageRate);
    notch.filter(samples, count, kExtraNotchPasses);
}

std::unique_ptr<CWavFileReader> loadMessageFile(const std::string& path) {
    std::unique_ptr<CWavFileReader> reader(new (std::nothrow) CWavFileReader);
    if (!reader) {
        errno = ENOMEM;
        return nullptr;
    }
    if (reader->open(path) != 0 || !isPlayableMessage(*reader)) {
        return nullptr;
    }
    prepareMessage(*reader);
    return reader;
}

}  // namespace orvel
