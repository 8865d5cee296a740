#pragma once
// The volume of the computer's sound output, which the status window's bar
// drives: the ALSA simple mixer element "Master" of the default device (which
// also reaches PulseAudio and PipeWire). Volumes are 0..65535 on both
// channels, whatever the element's own range.

#include <memory>
#include <optional>

namespace orvel {

class IOutputVolume {
public:
    virtual ~IOutputVolume() = default;
    // False when there is no mixer element to drive.
    virtual bool available() const = 0;
    // The louder channel's volume; nothing when it cannot be read.
    virtual std::optional<int> volume() = 0;
    // Sets every channel; false when the mixer refused.
    virtual bool setVolume(int volume) = 0;
};

// Opens the element `element` of the mixer of `device`; the result is never
// null, but not available() when the device or the element does not exist.
std::unique_ptr<IOutputVolume> makeAlsaOutputVolume(const char* device = "default",
                                                    const char* element = "Master");

// Between the 0..65535 scale and an element's raw range [min, max]; a range
// without width maps everything to min and 0.
long toRawVolume(int volume, long min, long max);
int fromRawVolume(long raw, long min, long max);

}  // namespace orvel
