#include "media/sdl_audio.h"

#include <SDL.h>
#include <ace/Log_Msg.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

namespace orvel {

int16_t alawToLinear(uint8_t value) {
    value ^= 0x55;
    int t = (value & 0x0F) << 4;
    const int segment = (value & 0x70) >> 4;
    if (segment == 0) {
        t += 8;
    } else {
        t += 0x108;
        t <<= segment - 1;
    }
    return static_cast<int16_t>((value & 0x80) ? t : -t);
}

CSdlAudio::~CSdlAudio() {
    Close();
    Quit();
}

int CSdlAudio::Init() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (!initialised_) {
        // The engine lives inside another program: SDL must not take its
        // SIGINT/SIGTERM away.
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        // Subsystem calls are counted: the operator program in the same
        // process keeps its own audio when the engine lets go of it.
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) {
            initialised_ = true;
        } else {
            ACE_ERROR((LM_ERROR, ACE_TEXT("Could not initialize SDL: %s.\n"), SDL_GetError()));
        }
    }
    return initialised_ ? 0 : -1;
}

void CSdlAudio::Quit() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (initialised_) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        initialised_ = false;
    }
}

int CSdlAudio::Open(uint32_t format, uint32_t channels, uint32_t rate, uint32_t periodSamples) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    SDL_AudioSpec requested{};
    requested.freq = static_cast<int>(rate);
    requested.format = AUDIO_S16LSB;
    requested.channels = static_cast<Uint8>(channels);
    requested.samples = static_cast<Uint16>(channels * periodSamples);
    requested.callback = &CSdlAudio::AudioCallback;
    requested.userdata = this;
    if (open_) {
        // Already listening: SDL refuses a second open; say so the same way.
        ACE_ERROR(
            (LM_ERROR, ACE_TEXT("Couldn't open audio: %s\n"), "Audio device is already opened"));
        return -1;
    }
    inputFormat_ = format;
    if (format == kFormatALaw) {
        conversionSize_ = rate;
        conversion_.reset(new (std::nothrow) int16_t[rate]);
        if (!conversion_) {
            conversionSize_ = 0;
            errno = ENOMEM;
            return -1;
        }
    } else {
        conversionSize_ = 0;
        conversion_.reset();
    }
    // No 'obtained' format: SDL converts to what was asked for, so the format
    // and rate the callback sees are exactly the requested ones; SDL fills in
    // the period size in bytes.
    if (SDL_OpenAudio(&requested, nullptr) < 0) {
        ACE_ERROR((LM_ERROR, ACE_TEXT("Couldn't open audio: %s\n"), SDL_GetError()));
        return -1;
    }
    grantedRate_ = static_cast<uint32_t>(requested.freq);
    grantedPeriodBytes_ = requested.size;
    silence_ = requested.silence;
    ACE_DEBUG((LM_DEBUG, ACE_TEXT(" OpenAudio %u %u\n"), grantedRate_, grantedPeriodBytes_));
    fifo_.Init(2, 2 * grantedPeriodBytes_);
    if (!fifo_.HasStorage()) {
        ACE_ERROR(
            (LM_ERROR, ACE_TEXT(" Error alloc fifo. Size buffer %u\n"), 2 * grantedPeriodBytes_));
        SDL_CloseAudio();
        return -1;
    }
    open_ = true;
    return 0;
}

void CSdlAudio::Close() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (!open_) {
        return;
    }
    SDL_CloseAudio();  // waits for the callback thread
    fifo_.Release();
    open_ = false;
    conversionSize_ = 0;
    conversion_.reset();
}

uint32_t CSdlAudio::Write(const void* data, uint32_t lengthBytes) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (!fifo_.HasStorage() || !open_ || data == nullptr) {
        return 0;
    }
    const void* source = data;
    uint32_t count = lengthBytes / 2;
    if (inputFormat_ == kFormatALaw) {
        count = std::min(lengthBytes, conversionSize_);
        const auto* bytes = static_cast<const uint8_t*>(data);
        for (uint32_t i = 0; i < count; ++i) {
            conversion_[i] = alawToLinear(bytes[i]);
        }
        source = conversion_.get();
    }
    SDL_LockAudio();
    const uint32_t written = fifo_.Write(source, count);
    if (fifo_.AvailableRead() > (fifo_.Slots() - 1) / 2 &&
        SDL_GetAudioStatus() == SDL_AUDIO_PAUSED) {
        SDL_PauseAudio(0);
        ACE_DEBUG((LM_DEBUG, ACE_TEXT(" Play start\n")));
    }
    const uint32_t availableRead = fifo_.AvailableRead();
    const uint32_t availableWrite = fifo_.AvailableWrite();
    SDL_UnlockAudio();
    if (written < count) {
        ACE_DEBUG((LM_DEBUG, ACE_TEXT(" FIFO is full %u<%u avr=%u avw=%u\n"), written, count,
                   availableRead, availableWrite));
    }
    return written;
}

void CSdlAudio::AudioCallback(void* userData, uint8_t* stream, int length) {
    auto* self = static_cast<CSdlAudio*>(userData);
    if (self == nullptr || stream == nullptr || length <= 0) {
        return;
    }
    const uint32_t need = static_cast<uint32_t>(length) / 2;
    const uint32_t available = self->fifo_.AvailableRead();
    if (need > available) {
        ACE_DEBUG(
            (LM_DEBUG, ACE_TEXT(" audio_callback data need %u avaliable %u\n"), need, available));
    }
    if (!self->fifo_.IsEmpty() && available >= need) {
        self->fifo_.Read(stream, need);
        if (length % 2 != 0) {
            stream[length - 1] = self->silence_;
        }
        return;
    }
    ACE_DEBUG((LM_DEBUG, ACE_TEXT(" Data is low\n")));
    // SDL2 does not hand the callback a silent buffer: a skipped period must
    // be made silent here.
    std::memset(stream, self->silence_, static_cast<std::size_t>(length));
}

}  // namespace orvel
