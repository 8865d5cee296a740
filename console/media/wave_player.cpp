#include "media/wave_player.h"

#include <SDL.h>

#include <QFile>

#include "media/sound_errors.h"

namespace orvel {

TWavePlayer::~TWavePlayer() {
    close();
}

bool TWavePlayer::open(const QString& path, QString* error) {
    close();
    auto fail = [&](const QString& why) {
        if (error != nullptr)
            *error = why;
        close();
        return false;
    };
    if (!QFile::exists(path))
        return fail(QStringLiteral("Указанный файл не найден!"));
    if (!subsystem_) {
        // The program keeps its own signal handling.
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
            return fail(soundDeviceError(SoundDevice::Output, QString::fromUtf8(SDL_GetError())));
        subsystem_ = true;
    }
    SDL_AudioSpec spec{};
    Uint8* buffer = nullptr;
    Uint32 length = 0;
    const QByteArray name = QFile::encodeName(path);
    if (SDL_LoadWAV(name.constData(), &spec, &buffer, &length) == nullptr)
        return fail(QStringLiteral("Невозможно определить формат файла! (%1)")
                        .arg(QString::fromUtf8(SDL_GetError())));
    samples_ = QByteArray(reinterpret_cast<const char*>(buffer), static_cast<int>(length));
    SDL_FreeWAV(buffer);
    spec.callback = nullptr;  // the samples are queued
    spec.userdata = nullptr;
    device_ = SDL_OpenAudioDevice(nullptr, 0, &spec, nullptr, 0);
    if (device_ == 0)
        return fail(soundDeviceError(SoundDevice::Output, QString::fromUtf8(SDL_GetError())));
    path_ = path;
    return true;
}

bool TWavePlayer::play() {
    if (device_ == 0)
        return false;
    SDL_PauseAudioDevice(device_, 1);
    SDL_ClearQueuedAudio(device_);
    if (SDL_QueueAudio(device_, samples_.constData(), static_cast<Uint32>(samples_.size())) != 0)
        return false;
    SDL_PauseAudioDevice(device_, 0);
    return true;
}

void TWavePlayer::stop() {
    if (device_ == 0)
        return;
    SDL_PauseAudioDevice(device_, 1);
    SDL_ClearQueuedAudio(device_);
}

bool TWavePlayer::isPlaying() const {
    return device_ != 0 && SDL_GetQueuedAudioSize(device_) > 0 &&
           SDL_GetAudioDeviceStatus(device_) == SDL_AUDIO_PLAYING;
}

void TWavePlayer::close() {
    if (device_ != 0) {
        SDL_CloseAudioDevice(device_);
        device_ = 0;
    }
    samples_.clear();
    path_.clear();
    if (subsystem_) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        subsystem_ = false;
    }
}

}  // namespace orvel
