// Loading a voice message for playback: the file must be 16-bit mono PCM at
// 16000 samples per second; its samples are then cleared of the
// call-progress band in place (band-stop, six notch passes and a level
// normalisation), so the line analyzer never takes the message for a tone.
#pragma once

#include <memory>
#include <string>

#include "media/wav_file_reader.h"

namespace orvel {

inline constexpr int kMessageRate = 16000;

// The format test: PCM, one channel, 16000 Hz, 16 bits. (8-bit files are
// refused rather than read past the end of their data as 16-bit samples.)
bool isPlayableMessage(const CWavFileReader& reader);
// Band-stop over 200..700 Hz with 2048-point frames, then six passes of the
// notch and the normalisation, all in the private copy.
void prepareMessage(CWavFileReader& reader);
// Open, test and prepare; null when refused (errno ENOMEM when the reader
// could not be allocated).
std::unique_ptr<CWavFileReader> loadMessageFile(const std::string& path);

}  // namespace orvel
