#include "dsp/dtmf_tone_generator.h"

#include <cerrno>
#include <new>

#include "dsp/dsp_ops.h"

namespace orvel::dsp {

namespace {

struct KeyTones {
    char key;
    float low;
    float high;
};

// Keys in buffer order.
constexpr std::array<KeyTones, CDtmfToneGenerator::kKeys> kKeyTones = {{
    {'0', 941, 1336},
    {'1', 697, 1209},
    {'2', 697, 1336},
    {'3', 697, 1477},
    {'4', 770, 1209},
    {'5', 770, 1336},
    {'6', 770, 1477},
    {'7', 852, 1209},
    {'8', 852, 1336},
    {'9', 852, 1477},
    {'*', 941, 1209},
    {'#', 941, 1477},
}};

int keyIndex(char key) {
    for (int i = 0; i < CDtmfToneGenerator::kKeys; ++i) {
        if (kKeyTones[static_cast<std::size_t>(i)].key == key) {
            return i;
        }
    }
    return -1;
}

}  // namespace

int CDtmfToneGenerator::build(int rate, int amplitude) {
    if (rate == 0) {
        rate = kDefaultRate;
    }
    if (rate < 8) {
        errno = EINVAL;
        return -1;
    }
    rate_ = rate;
    amplitude_ = amplitude;
    length_ = static_cast<std::size_t>(rate) / 8;
    try {
        std::vector<int16_t> low(length_), high(length_);
        for (std::size_t i = 0; i < kKeyTones.size(); ++i) {
            const KeyTones& k = kKeyTones[i];
            tone(low.data(), length_, k.low / static_cast<float>(rate), 0.0f,
                 static_cast<float>(amplitude));
            tone(high.data(), length_, k.high / static_cast<float>(rate), 0.0f,
                 static_cast<float>(amplitude));
            buffers_[i].resize(length_);
            add3AutoScale(low.data(), high.data(), buffers_[i].data(), length_);
        }
        buffers_[kKeys].assign(length_, 0);
    } catch (const std::bad_alloc&) {
        for (auto& b : buffers_) {
            b.clear();
        }
        length_ = 0;
        errno = ENOMEM;
        return -1;
    }
    return 0;
}

const int16_t* CDtmfToneGenerator::keyBuffer(char key) const {
    const int i = keyIndex(key);
    if (i < 0 || buffers_[static_cast<std::size_t>(i)].empty()) {
        return nullptr;
    }
    return buffers_[static_cast<std::size_t>(i)].data();
}

const int16_t* CDtmfToneGenerator::silence() const {
    return buffers_[kKeys].empty() ? nullptr : buffers_[kKeys].data();
}

int CDtmfToneBank::build(int rate) {
    for (int i = 0; i < kLevels; ++i) {
        if (levels_[static_cast<std::size_t>(i)].build(
                rate, kAmplitudes[static_cast<std::size_t>(i)]) != 0) {
            return -1;
        }
    }
    return 0;
}

const CDtmfToneGenerator& CDtmfToneBank::level(int dtmfLevel) const {
    if (dtmfLevel < 0 || dtmfLevel >= kLevels) {
        dtmfLevel = 0;
    }
    return levels_[static_cast<std::size_t>(dtmfLevel)];
}

}  // namespace orvel::dsp
