#include "media/dvr_wave_player.h"

#include <SDL.h>

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "media/sound_errors.h"

namespace orvel {

namespace {

constexpr qint64 kMaxDataBytes = 512ll << 20;  // an hour of 16-bit stereo at 44.1 kHz is less
constexpr int kOutputFrames = 1024;

// The file-open errors, by the reason the system gave.
QString openErrorText(int code, const QString& fileName) {
    const char* text = "Ошибка открытия файла!";
    switch (code) {
        case ENOENT:
            text = "Указанный файл не найден!";
            break;
        case ENOMEM:
            text = "Не хватает памяти для загрузки файла!";
            break;
        case ENOTDIR:
            text = "Указанный путь не найден!";
            break;
        case EACCES:
        case EPERM:
            text = "Отказано в доступе к файлу!";
            break;
        case ETXTBSY:
        case EBUSY:
            text = "Файл используется другим приложением!";
            break;
        case EMFILE:
        case ENFILE:
            text = "Слишком много открытых файлов!";
            break;
        case EISDIR:
            text = "Невозможно открыть файл!";
            break;
        default:
            break;
    }
    return QString::fromUtf8(text) + QLatin1Char(' ') + fileName;
}

const QString kFormatError = QStringLiteral("Невозможно определить формат файла!");

}  // namespace

TDVRWavePlayer::~TDVRWavePlayer() {
    CloseWave();
}

QString TDVRWavePlayer::stateName(int state) {
    switch (state) {
        case kClose:
        case kError:  // reported as closed once no output is open
            return state == kError ? QStringLiteral("Error") : QStringLiteral("Close");
        case kOpen:
            return QStringLiteral("Open");
        case kPlay:
            return QStringLiteral("Play");
        case kStop:
            return QStringLiteral("Stop");
        default:
            return QStringLiteral("Unknown");
    }
}

QString TDVRWavePlayer::positionText(uint32_t ms) {
    const uint32_t tenths = ms / 100;
    return QStringLiteral("%1:%2:%3.%4")
        .arg(tenths / 36000, 2, 10, QLatin1Char('0'))
        .arg(tenths / 600 % 60, 2, 10, QLatin1Char('0'))
        .arg(tenths / 10 % 60, 2, 10, QLatin1Char('0'))
        .arg(tenths % 10);
}

TDVRWavePlayer::State TDVRWavePlayer::state() const {
    std::lock_guard lock(mutex_);
    return state_;
}

QString TDVRWavePlayer::StateName() const {
    std::lock_guard lock(mutex_);
    return stateName(state_ == kError && device_ == 0 ? kClose : state_);
}

int TDVRWavePlayer::OpenWave(const QString& fileName) {
    CloseWave();
    std::lock_guard lock(mutex_);
    error_.clear();
    if (!QFileInfo::exists(fileName)) {
        error_ = QStringLiteral("Указанный файл не найден!");
        return 1;
    }
    QFile file(fileName);
    errno = 0;
    if (!file.open(QIODevice::ReadOnly)) {
        error_ = openErrorText(errno, fileName);
        return 2;
    }
    QString reason;
    const auto info = readWaveInfo(&file, &reason);
    if (!info) {
        error_ = kFormatError + QLatin1Char(' ') + reason;
        return 3;
    }
    if (info->dataSize > kMaxDataBytes) {
        error_ = openErrorText(ENOMEM, fileName);
        return 4;
    }
    QByteArray data;
    if (file.seek(info->dataOffset))
        data = file.read(info->dataSize);
    if (data.size() != qint64(info->dataSize)) {
        error_ = QStringLiteral("Ошибка чтения файла!") + QLatin1Char(' ') + fileName;
        return 5;
    }

    if (!subsystem_) {
        // The program keeps its own signal handling.
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
            error_ = soundDeviceError(SoundDevice::Output, QString::fromUtf8(SDL_GetError()));
            return 6;
        }
        subsystem_ = true;
    }
    SDL_AudioSpec want{};
    want.freq = int(info->rate);
    want.format = info->bits == 8 ? AUDIO_U8 : AUDIO_S16LSB;
    want.channels = uint8_t(info->channels);
    want.samples = kOutputFrames;
    want.callback = &TDVRWavePlayer::pull;
    want.userdata = this;
    SDL_AudioSpec have{};
    device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (device_ == 0) {
        error_ = soundDeviceError(SoundDevice::Output, QString::fromUtf8(SDL_GetError()));
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        subsystem_ = false;
        return 7;
    }
    silence_ = have.silence;
    info_ = *info;
    data_ = std::move(data);
    readPos_ = 0;
    state_ = kOpen;
    return 0;
}

void TDVRWavePlayer::pull(void* self, uint8_t* stream, int length) {
    auto* p = static_cast<TDVRWavePlayer*>(self);
    std::lock_guard lock(p->mutex_);
    qint64 n = 0;
    if (p->state_ == kPlay) {
        n = std::min<qint64>(length, p->data_.size() - p->readPos_);
        if (n > 0) {
            std::memcpy(stream, p->data_.constData() + p->readPos_, size_t(n));
            p->readPos_ += n;
        }
        if (p->readPos_ >= p->data_.size())
            p->state_ = kStop;  // played to the end
    }
    if (n < length)
        std::memset(stream + n, p->silence_, size_t(length - n));
}

// SDL holds its device lock while it calls pull(), and pull() takes our mutex:
// pausing or resuming (which takes the device lock) while holding our mutex
// could leave each thread waiting for the other. The state is set under our
// mutex, and the device is told afterwards, outside it.
bool TDVRWavePlayer::Play() {
    uint32_t device = 0;
    {
        std::lock_guard lock(mutex_);
        if (device_ == 0)
            return false;
        if (readPos_ >= data_.size())
            return true;  // at the end: nothing to play until the position moves back
        state_ = kPlay;
        device = device_;
    }
    SDL_PauseAudioDevice(device, 0);
    return true;
}

void TDVRWavePlayer::StopAndRewind() {
    uint32_t device = 0;
    {
        std::lock_guard lock(mutex_);
        if (device_ == 0)
            return;
        // pull() plays silence from here on, until the device is paused.
        readPos_ = 0;
        state_ = kStop;
        device = device_;
    }
    SDL_PauseAudioDevice(device, 1);
}

void TDVRWavePlayer::SeekTo(uint32_t ms) {
    std::lock_guard lock(mutex_);
    if (device_ == 0 || info_.blockAlign == 0)
        return;
    const uint64_t bytes = (uint64_t(ms) * info_.bytesPerSecond + 500) / 1000;
    // A position inside a sample frame would swap bytes or channels.
    const uint64_t frame = bytes - bytes % info_.blockAlign;
    readPos_ = qint64(std::min<uint64_t>(frame, uint64_t(data_.size())));
    if (state_ != kPlay)
        state_ = kStop;
}

void TDVRWavePlayer::closeLocked() {
    if (device_ != 0) {
        // Closing waits for the pull to return; it takes the mutex.
        const uint32_t device = device_;
        device_ = 0;
        mutex_.unlock();
        SDL_CloseAudioDevice(device);
        mutex_.lock();
    }
    if (subsystem_) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        subsystem_ = false;
    }
    data_.clear();
    readPos_ = 0;
    info_ = TWaveInfo{};
    state_ = kClose;
}

void TDVRWavePlayer::CloseWave() {
    std::lock_guard lock(mutex_);
    closeLocked();
}

uint32_t TDVRWavePlayer::positionLocked() const {
    if (device_ == 0 || info_.bytesPerSecond == 0)
        return 0;
    if (readPos_ >= data_.size())
        return info_.durationMs;
    return uint32_t(uint64_t(readPos_) * 1000 / info_.bytesPerSecond);
}

uint32_t TDVRWavePlayer::Position() const {
    std::lock_guard lock(mutex_);
    return positionLocked();
}

QString TDVRWavePlayer::PositionText() const {
    return positionText(Position());
}

std::vector<int16_t> TDVRWavePlayer::samplesAtPosition(int count) const {
    std::lock_guard lock(mutex_);
    std::vector<int16_t> out;
    if (device_ == 0 || info_.blockAlign == 0)
        return out;
    out.reserve(size_t(std::max(count, 0)));
    for (qint64 at = readPos_; int(out.size()) < count && at + info_.blockAlign <= data_.size();
         at += info_.blockAlign) {
        const auto* p = reinterpret_cast<const uint8_t*>(data_.constData() + at);
        out.push_back(info_.bits == 8 ? int16_t((p[0] - 128) * 256) : int16_t(p[0] | (p[1] << 8)));
    }
    return out;
}

}  // namespace orvel
