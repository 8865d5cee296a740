// Key 9 pressed while the person keeps talking: the confirmation key laid
// over a person's speech at the levels the simulator's talkers have (the
// speech's peak from 1.5 dB below to 4.5 dB above the key's low tone, and a
// quieter talk 10 dB below it), alone and with the echo of the engine's
// message, fed to the DTMF detector with and without the confirmation guard.
// For every key that is missed it tells which test refused the blocks the
// key filled: a group without a dominating tone (the detector), or the
// guard's level, twist or out-of-band energy test.
#pragma once

#include <cstdint>
#include <vector>

namespace orvel::tools {

struct KeysUnderSpeechResult {
    long bursts = 0;
    long heard[2] = {0, 0};  // guard off, on
    long heardBySpeech[4][2] = {};
};

// `people` are utterances at 8 kHz (levelled and band-limited here).
KeysUnderSpeechResult keysUnderSpeech(const std::vector<std::vector<int16_t>>& people,
                                      bool verbose);

}  // namespace orvel::tools
