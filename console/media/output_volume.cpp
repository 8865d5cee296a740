#include "media/output_volume.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cstdarg>

namespace orvel {

namespace {

constexpr int kFullScale = 65535;

// ALSA reports a missing card on the standard error; a machine without a
// mixer is an expected case here (the bar is hidden), not an error.
void quietAlsa(const char*, int, const char*, int, const char*, ...) {}

class AlsaOutputVolume final : public IOutputVolume {
public:
    AlsaOutputVolume(const char* device, const char* element) {
        snd_lib_error_set_handler(&quietAlsa);
        open(device, element);
        snd_lib_error_set_handler(nullptr);
    }
    ~AlsaOutputVolume() override {
        if (mixer_ != nullptr)
            snd_mixer_close(mixer_);
    }

    bool available() const override { return elem_ != nullptr; }

    std::optional<int> volume() override {
        if (elem_ == nullptr)
            return std::nullopt;
        snd_mixer_handle_events(mixer_);  // take changes made by others
        long loudest = min_;
        bool read = false;
        for (int c = 0; c <= SND_MIXER_SCHN_LAST; ++c) {
            const auto ch = snd_mixer_selem_channel_id_t(c);
            long v = 0;
            if (!snd_mixer_selem_has_playback_channel(elem_, ch) ||
                snd_mixer_selem_get_playback_volume(elem_, ch, &v) < 0)
                continue;
            loudest = std::max(loudest, v);
            read = true;
        }
        if (!read)
            return std::nullopt;
        return fromRawVolume(loudest, min_, max_);
    }

    bool setVolume(int volume) override {
        if (elem_ == nullptr)
            return false;
        return snd_mixer_selem_set_playback_volume_all(elem_, toRawVolume(volume, min_, max_)) ==
               0;
    }

private:
    void open(const char* device, const char* element) {
        if (snd_mixer_open(&mixer_, 0) < 0) {
            mixer_ = nullptr;
            return;
        }
        snd_mixer_selem_id_t* id = nullptr;
        if (snd_mixer_attach(mixer_, device) < 0 ||
            snd_mixer_selem_register(mixer_, nullptr, nullptr) < 0 ||
            snd_mixer_load(mixer_) < 0 || snd_mixer_selem_id_malloc(&id) < 0) {
            snd_mixer_close(mixer_);
            mixer_ = nullptr;
            return;
        }
        snd_mixer_selem_id_set_index(id, 0);
        snd_mixer_selem_id_set_name(id, element);
        snd_mixer_elem_t* e = snd_mixer_find_selem(mixer_, id);
        snd_mixer_selem_id_free(id);
        if (e == nullptr || !snd_mixer_selem_has_playback_volume(e) ||
            snd_mixer_selem_get_playback_volume_range(e, &min_, &max_) < 0) {
            snd_mixer_close(mixer_);
            mixer_ = nullptr;
            return;
        }
        elem_ = e;
    }

    snd_mixer_t* mixer_ = nullptr;
    snd_mixer_elem_t* elem_ = nullptr;
    long min_ = 0;
    long max_ = 0;
};

}  // namespace

long toRawVolume(int volume, long min, long max) {
    if (max <= min)
        return min;
    const long long v = std::clamp(volume, 0, kFullScale);
    return min + long((v * (max - min) + kFullScale / 2) / kFullScale);
}

int fromRawVolume(long raw, long min, long max) {
    if (max <= min)
        return 0;
    const long long r = std::clamp(raw, min, max) - min;
    return int((r * kFullScale + (max - min) / 2) / (max - min));
}

std::unique_ptr<IOutputVolume> makeAlsaOutputVolume(const char* device, const char* element) {
    return std::make_unique<AlsaOutputVolume>(device, element);
}

}  // namespace orvel
