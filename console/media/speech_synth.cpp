#include "media/speech_synth.h"

#include <SDL.h>
#include <espeak-ng/speak_lib.h>
#include <soxr.h>

#include <cmath>

#include "media/sound_errors.h"

namespace orvel {

namespace {

constexpr int kNormalWpm = 175;

// The one engine of the process.
std::mutex g_engineMutex;
int g_engineRate = 0;  // samples per second of the library; 0 before it started

struct RenderTarget {
    std::vector<int16_t>* samples;
    const std::atomic<bool>* cancel;
};

int collect(short* wav, int count, espeak_EVENT* events) {
    auto* target = events != nullptr ? static_cast<RenderTarget*>(events->user_data) : nullptr;
    if (target == nullptr)
        return 0;
    if (wav != nullptr && count > 0)
        target->samples->insert(target->samples->end(), wav, wav + count);
    return target->cancel != nullptr && target->cancel->load() ? 1 : 0;
}

// Under g_engineMutex.
bool startEngine(QString* error) {
    if (g_engineRate > 0)
        return true;
    const int rate =
        espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 0, nullptr, espeakINITIALIZE_DONT_EXIT);
    if (rate <= 0) {
        if (error != nullptr)
            *error = QStringLiteral("Синтезатор речи не запускается: не найдены его данные");
        return false;
    }
    espeak_SetSynthCallback(collect);
    g_engineRate = rate;
    return true;
}

QString genderText(int gender) {
    switch (gender) {
        case 1:
            return QStringLiteral("мужской");
        case 2:
            return QStringLiteral("женский");
        default:
            return QStringLiteral("не указан");
    }
}

}  // namespace

QString TVoiceInfo::description() const {
    return language.isEmpty() ? name : name + QStringLiteral(" (") + language + QLatin1Char(')');
}

QList<TVoiceInfo> TSpeechSynth::voices(QString* error) {
    std::lock_guard lock(g_engineMutex);
    QList<TVoiceInfo> list;
    if (!startEngine(error))
        return list;
    const espeak_VOICE** all = espeak_ListVoices(nullptr);
    for (int i = 0; all != nullptr && all[i] != nullptr; ++i) {
        const espeak_VOICE* v = all[i];
        TVoiceInfo info;
        info.identifier = QString::fromUtf8(v->identifier);
        info.name = QString::fromUtf8(v->name);
        info.age = v->age > 0 ? QString::number(v->age) : QStringLiteral("не указан");
        info.gender = genderText(v->gender);
        // The first of the (priority byte, language) pairs.
        info.language = v->languages != nullptr && v->languages[0] != 0
                            ? QString::fromUtf8(v->languages + 1)
                            : QString();
        info.vendor = QStringLiteral("eSpeak NG");
        list.append(info);
    }
    return list;
}

int TSpeechSynth::russianVoice(const QList<TVoiceInfo>& list) {
    for (int i = 0; i < list.size(); ++i) {
        if (list[i].language == QLatin1String("ru"))
            return i;
    }
    return 0;
}

int TSpeechSynth::wordsPerMinute(int rate) {
    const int r = std::clamp(rate, kMinRate, kMaxRate);
    return int(std::lround(kNormalWpm * std::pow(3.0, r / 10.0)));
}

std::optional<std::vector<int16_t>> TSpeechSynth::render(const QString& text,
                                                         const TSpeechParams& params,
                                                         QString* error,
                                                         const std::atomic<bool>* cancel) {
    std::vector<int16_t> raw;
    int rate = 0;
    {
        std::lock_guard lock(g_engineMutex);
        if (!startEngine(error))
            return std::nullopt;
        const QByteArray voice =
            (params.voice.isEmpty() ? QStringLiteral("ru") : params.voice).toUtf8();
        if (espeak_SetVoiceByName(voice.constData()) != EE_OK) {
            if (error != nullptr)
                *error = QStringLiteral("Голос \"%1\" не найден").arg(QString::fromUtf8(voice));
            return std::nullopt;
        }
        espeak_SetParameter(espeakRATE, wordsPerMinute(params.rate), 0);
        espeak_SetParameter(espeakVOLUME, std::clamp(params.volume, 0, 100) * 2, 0);
        const QByteArray utf8 = text.toUtf8();
        RenderTarget target{&raw, cancel};
        const espeak_ERROR e = espeak_Synth(utf8.constData(), size_t(utf8.size()) + 1, 0,
                                            POS_CHARACTER, 0, espeakCHARS_UTF8, nullptr, &target);
        espeak_Synchronize();
        if (e != EE_OK) {
            if (error != nullptr)
                *error = QStringLiteral("Синтезатор речи не принял текст (код %1)").arg(int(e));
            return std::nullopt;
        }
        rate = g_engineRate;
    }
    if (raw.empty() || rate == kOutputRate)
        return raw;
    std::vector<int16_t> out(size_t(std::ceil(double(raw.size()) * kOutputRate / rate)) + 16);
    size_t done = 0;
    const soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_INT16_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    const soxr_error_t e = soxr_oneshot(rate, kOutputRate, 1, raw.data(), raw.size(), nullptr,
                                        out.data(), out.size(), &done, &io, &quality, nullptr);
    if (e != nullptr) {
        if (error != nullptr)
            *error = QStringLiteral("Ошибка пересчёта частоты: %1").arg(QString::fromUtf8(e));
        return std::nullopt;
    }
    out.resize(done);
    return out;
}

TSpeechOutput::~TSpeechOutput() {
    quit_ = true;
    wake_.notify_all();
    if (worker_.joinable())
        worker_.join();
    if (device_ != 0)
        SDL_CloseAudioDevice(device_);
    if (subsystem_)
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

bool TSpeechOutput::speak(const QString& text, const TSpeechParams& params, QString* error) {
    if (device_ == 0) {
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        if (!subsystem_) {
            if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
                if (error != nullptr)
                    *error =
                        soundDeviceError(SoundDevice::Output, QString::fromUtf8(SDL_GetError()));
                return false;
            }
            subsystem_ = true;
        }
        SDL_AudioSpec want{};
        want.freq = TSpeechSynth::kOutputRate;
        want.format = AUDIO_S16SYS;
        want.channels = 1;
        want.samples = 1024;
        device_ = SDL_OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
        if (device_ == 0) {
            if (error != nullptr)
                *error = soundDeviceError(SoundDevice::Output, QString::fromUtf8(SDL_GetError()));
            return false;
        }
        SDL_PauseAudioDevice(device_, 0);
    }
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back({text, params});
    }
    if (!worker_.joinable())
        worker_ = std::thread(&TSpeechOutput::work, this);
    wake_.notify_one();
    return true;
}

bool TSpeechOutput::busy() const {
    std::lock_guard lock(mutex_);
    return rendering_ || !jobs_.empty() || (device_ != 0 && SDL_GetQueuedAudioSize(device_) > 0);
}

QString TSpeechOutput::lastError() const {
    std::lock_guard lock(mutex_);
    return error_;
}

void TSpeechOutput::work() {
    std::unique_lock lock(mutex_);
    while (!quit_) {
        wake_.wait(lock, [this] { return quit_ || !jobs_.empty(); });
        if (quit_)
            break;
        Job job = std::move(jobs_.front());
        jobs_.pop_front();
        rendering_ = true;
        lock.unlock();
        QString error;
        const auto samples = TSpeechSynth::render(job.text, job.params, &error, &quit_);
        if (samples && !samples->empty())
            SDL_QueueAudio(device_, samples->data(), uint32_t(samples->size() * sizeof(int16_t)));
        lock.lock();
        rendering_ = false;
        if (!samples)
            error_ = error;
    }
}

}  // namespace orvel
