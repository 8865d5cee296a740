#include "board/sound_table.h"

namespace orvel {

CSoundTable::Sound CSoundTable::soundOf(CWavFileReader& reader) {
    Sound s;
    s.samples = reader.samples16();
    s.count = s.samples != nullptr ? reader.sampleCount() : 0;
    return s;
}

bool CSoundTable::find(uint32_t number, Sound& out) const {
    auto it = sounds_.find(number);
    if (it == sounds_.end()) {
        return false;
    }
    out = it->second.sound;
    return true;
}

std::unique_ptr<CWavFileReader> CSoundTable::replace(uint32_t number,
                                                     std::unique_ptr<CWavFileReader> reader,
                                                     CToneMap tones) {
    Entry entry;
    entry.sound = soundOf(*reader);
    entry.reader = std::move(reader);
    entry.tones = std::move(tones);
    std::unique_ptr<CWavFileReader> old;
    auto it = sounds_.find(number);
    if (it == sounds_.end()) {
        it = sounds_.emplace(number, std::move(entry)).first;
    } else {
        old = std::move(it->second.reader);
        it->second = std::move(entry);
    }
    it->second.sound.tones = &it->second.tones;
    return old;
}

}  // namespace orvel
