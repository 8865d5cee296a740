// CSoundTable: the messages loaded into one board, by message number. The
// table owns each message's reader, whose private mapping holds the prepared
// samples that channels play from.
#pragma once

#include <cstdint>
#include <map>
#include <memory>

#include "media/tone_map.h"
#include "media/wav_file_reader.h"

namespace orvel {

class CSoundTable {
public:
    struct Sound {
        const int16_t* samples = nullptr;
        uint32_t count = 0;
        const CToneMap* tones = nullptr;  // the steady tones in it, by position
    };

    // False when the number was never loaded.
    bool find(uint32_t number, Sound& out) const;
    // Stores `reader` under `number` and hands back the one it replaces
    // (null for a new number), so the caller can move channels off its
    // samples before it goes.
    std::unique_ptr<CWavFileReader> replace(uint32_t number, std::unique_ptr<CWavFileReader> reader,
                                            CToneMap tones = {});
    size_t size() const { return sounds_.size(); }
    void clear() { sounds_.clear(); }

    static Sound soundOf(CWavFileReader& reader);

private:
    struct Entry {
        std::unique_ptr<CWavFileReader> reader;
        CToneMap tones;
        Sound sound;
    };
    std::map<uint32_t, Entry> sounds_;
};

}  // namespace orvel
