// What subscribers say: texts spoken by the speech synthesiser (the
// espeak-ng program), resampled to the line's 8 kHz and levelled like a voice
// on a telephone line.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace orvel::sim {

using Speech = std::shared_ptr<const std::vector<int16_t>>;

class SpeechBank {
public:
    // The samples of `text` in `voice` (made once, then shared). Never null:
    // when the synthesiser cannot speak, a voiced stand-in of similar rhythm
    // is returned and `synthesised` is false.
    Speech get(const std::string& voice, const std::string& text, bool* synthesised = nullptr);

private:
    std::mutex mutex_;
    std::map<std::string, Speech> cache_;
};

// 16-bit samples at `inRate` resampled to 8000 Hz.
std::vector<int16_t> resampleTo8k(const std::vector<int16_t>& in, double inRate);
// Scales `samples` so that their peak is `peak`.
void levelTo(std::vector<int16_t>& samples, int peak);

}  // namespace orvel::sim
