// Talk-off from the engine's own output: the messages, prompts and beep the
// engine plays, heard back through the line's hybrid echo (the simulator's
// G.168 echo path models at several return losses), alone and under a
// person speaking at the far end, fed to the DTMF detector as the channel's
// analysis feeds it, with and without the confirmation guard.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orvel::tools {

struct EchoTalkOffOptions {
    double minutes = 60;     // of the engine's own output played and echoed
    std::string programDir;  // holds the demo's message and prompt; prepared when missing
    bool verbose = false;    // print every call that gave a key
};

// `people` are utterances at 8 kHz that a person at the far end says over
// the echo (levelled and band-limited here). `falseNines` is the count of
// 9s reported with the guard on. False when the engine's output could not be
// prepared.
bool echoTalkOff(const EchoTalkOffOptions& options, const std::vector<std::vector<int16_t>>& people,
                 long& falseNines);

}  // namespace orvel::tools
