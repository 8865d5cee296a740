#include "media/wave_capture.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "media/sound_errors.h"

namespace orvel {

namespace {

constexpr int kInputFrames = 1024;  // what SDL hands over at a time

}  // namespace

TWaveCapture::~TWaveCapture() {
    stop();
}

bool TWaveCapture::start(const QString& tempFile, QString* error) {
    stop();
    samplesTaken_ = 0;
    last_.clear();
    filled_.clear();
    current_ = 0;
    fill_ = 0;
    for (QByteArray& b : buffers_)
        b = QByteArray(kBufferBytes, '\0');

    if (!subsystem_) {
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
            if (error != nullptr)
                *error = soundDeviceError(SoundDevice::Input, QString::fromUtf8(SDL_GetError()));
            return false;
        }
        subsystem_ = true;
    }
    SDL_AudioSpec want{};
    want.freq = kRecordRate;
    want.format = AUDIO_S16LSB;
    want.channels = kRecordChannels;
    want.samples = kInputFrames;
    want.callback = &TWaveCapture::push;
    want.userdata = this;
    // SDL converts whatever the device gives to this format.
    device_ = SDL_OpenAudioDevice(nullptr, 1, &want, nullptr, 0);
    if (device_ == 0) {
        if (error != nullptr)
            *error = soundDeviceError(SoundDevice::Input, QString::fromUtf8(SDL_GetError()));
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        subsystem_ = false;
        return false;
    }
    file_.create(tempFile, nullptr);  // a failure is kept in fileFailed()
    SDL_PauseAudioDevice(device_, 0);
    return true;
}

void TWaveCapture::push(void* self, uint8_t* stream, int length) {
    auto* c = static_cast<TWaveCapture*>(self);
    std::lock_guard lock(c->mutex_);
    while (length > 0) {
        QByteArray& b = c->buffers_[size_t(c->current_)];
        const int n = std::min(length, kBufferBytes - c->fill_);
        std::memcpy(b.data() + c->fill_, stream, size_t(n));
        c->fill_ += n;
        stream += n;
        length -= n;
        if (c->fill_ == kBufferBytes) {
            c->filled_.push_back(b);  // a copy: the buffer is filled again at once
            c->current_ ^= 1;
            c->fill_ = 0;
        }
    }
}

int TWaveCapture::takeFilled() {
    std::deque<QByteArray> ready;
    {
        std::lock_guard lock(mutex_);
        ready.swap(filled_);
    }
    for (const QByteArray& b : ready) {
        file_.append(b.constData(), b.size());
        samplesTaken_ += b.size() / 2;
        last_ = b;
    }
    return int(ready.size());
}

void TWaveCapture::stop() {
    if (device_ != 0) {
        SDL_CloseAudioDevice(device_);  // no more pushes after this
        device_ = 0;
        takeFilled();
        file_.finish();
    }
    if (subsystem_) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        subsystem_ = false;
    }
}

QString TWaveCapture::counterText(int64_t samples, const QString& minutesWord,
                                  const QString& secondsWord) {
    const int64_t s = std::llround(double(samples) / kRecordRate);
    return QStringLiteral("%1 %2.   %3 %4.")
        .arg(s / 60)
        .arg(minutesWord)
        .arg(s % 60)
        .arg(secondsWord);
}

}  // namespace orvel
