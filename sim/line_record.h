// What happened on one simulated line, kept for tests and for operators.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orvel::sim {

struct LineEvent {
    double seconds = 0;  // simulated time
    std::string text;
};

// A sound the board played into the line: from its first to its last loud
// 10-ms window, in simulated seconds.
struct PlayedSound {
    double from = 0;
    double to = 0;
};

struct LineRecord {
    std::string digits;       // every digit the exchange recognised, in order
    std::string dtmfDigits;   // of those, the ones heard as tones
    std::string pulseDigits;  // and the ones dialled by pulses
    std::string number;       // the last number the exchange took
    std::vector<LineEvent> events;
    // Samples (16 kHz) the engine put into the line, from the first sound
    // after the record was cleared, up to the configured length.
    std::vector<int16_t> audio;
    uint64_t soundSamples = 0;  // non-zero output samples, all time
    // Every sound of 0.2 s or more the board played, whatever the state of
    // the call (also after the subscriber hung up), in order.
    std::vector<PlayedSound> sounds;
    int seizures = 0;
    int keysPressed = 0;  // keys the subscriber pressed

    bool hasEvent(const std::string& part) const {
        for (const auto& e : events) {
            if (e.text.find(part) != std::string::npos) {
                return true;
            }
        }
        return false;
    }
};

// Receives each line event as it happens (the simulator's text log).
class EventSink {
public:
    virtual ~EventSink() = default;
    virtual void lineEvent(int board, int channel, const LineEvent& event) = 0;
};

}  // namespace orvel::sim
