// CSdlAudio: the sound output used to listen to a line, over SDL's audio
// subsystem. Samples written to it go into a FIFO that SDL's own callback
// thread drains; output starts once half the FIFO is filled and is never
// paused again, so input gaps give silent periods and a full FIFO drops input.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

#include "media/ring_buffer.h"

namespace orvel {

class CSdlAudio {
public:
    static constexpr uint32_t kFormatLinear16 = 1;
    static constexpr uint32_t kFormatALaw = 6;

    CSdlAudio() = default;
    ~CSdlAudio();
    CSdlAudio(const CSdlAudio&) = delete;
    CSdlAudio& operator=(const CSdlAudio&) = delete;

    // Initialises SDL's audio subsystem (SDL is kept from installing signal
    // handlers). 0, or -1 when there is no usable audio driver.
    int Init();
    void Quit();
    // Opens the output paused: input format (1 linear, 6 A-law), channels,
    // rate and period in samples. -1 when already open or refused.
    int Open(uint32_t format, uint32_t channels, uint32_t rate, uint32_t periodSamples);
    void Close();
    // Puts samples into the FIFO; returns how many went in.
    uint32_t Write(const void* data, uint32_t lengthBytes);
    bool IsOpen() const { return open_; }
    bool IsInitialised() const { return initialised_; }

    // What the audio library granted at the last Open.
    uint32_t GrantedRate() const { return grantedRate_; }
    uint32_t GrantedPeriodBytes() const { return grantedPeriodBytes_; }
    const CRingBuffer& Fifo() const { return fifo_; }

    // SDL's callback: plays a whole period from the FIFO, or silence.
    static void AudioCallback(void* userData, uint8_t* stream, int length);

private:
    std::recursive_mutex lock_;
    bool initialised_ = false;
    bool open_ = false;
    uint32_t inputFormat_ = kFormatLinear16;
    uint32_t conversionSize_ = 0;
    uint32_t grantedRate_ = 0;
    uint32_t grantedPeriodBytes_ = 0;
    uint8_t silence_ = 0;
    CRingBuffer fifo_;
    std::unique_ptr<int16_t[]> conversion_;
};

// ITU-T G.711 A-law to 16-bit linear.
int16_t alawToLinear(uint8_t value);

}  // namespace orvel
