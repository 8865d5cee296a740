// CListenOutput: the logic of the line-listening task ("WaveOutModule").
// Passive: the task calls it from put() on the boards' receive threads with
// every read record, and from the exports to start and stop listening. It
// never takes or releases blocks; the task passes every block on itself.
//
// One line at a time: while a line is listened to its samples are copied
// into the sound output's FIFO. A machine without a sound device only makes
// startListening() fail with -1; nothing else changes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>

#include "media/sdl_audio.h"
#include "messages.h"

namespace orvel {

class CListenOutput {
public:
    static constexpr uint32_t kDefaultRate = 8000;
    static constexpr uint32_t kPeriodSamples = 512;

    // Task open: initialises the audio subsystem; -1 when there is none (the
    // engine carries on without listening).
    int open();
    // Task close: closes the output and shuts the audio subsystem down.
    void close();

    // 0 when the output opened for this line; -1 otherwise (no device, or
    // another line is already listened to), keeping the old address.
    int startListening(const Address& address);
    void stopListening();
    // Stores the rate; reopens an open output with it (-1 if that fails).
    int setInputRate(uint32_t rate);

    // The sample path: a record of kind 0 of the listened line goes to the
    // output; anything else is ignored.
    void onRead(const ReadRecord& record);
    void onSamples(const Address& address, const int16_t* samples, std::size_t count);

    bool isListening() const { return audio_.IsOpen(); }
    Address listened() const { return listened_; }
    uint32_t inputRate() const { return rate_; }
    const CSdlAudio& audio() const { return audio_; }

private:
    bool isListened(const Address& a) const {
        return a.reserved == listened_.reserved && a.device == listened_.device &&
               a.channel == listened_.channel;
    }

    std::recursive_mutex lock_;
    uint32_t rate_ = kDefaultRate;
    Address listened_{};
    CSdlAudio audio_;
};

}  // namespace orvel
