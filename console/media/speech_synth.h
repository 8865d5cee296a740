#pragma once
// Speech synthesis of message texts with the espeak-ng library: every
// installed voice, speed and volume, rendered into memory and resampled to
// the message format (16 kHz, 16-bit, mono) with libsoxr at high quality.
// The library is one engine per process; every use holds one lock.

#include <QList>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace orvel {

struct TVoiceInfo {
    QString identifier;  // what selects the voice, e.g. "zle/ru"
    QString name;
    QString age;
    QString gender;
    QString language;
    QString vendor;
    QString description() const;
};

struct TSpeechParams {
    QString voice;    // identifier; empty: Russian
    int rate = 0;     // -10..10
    int volume = 50;  // 0..100
};

class TSpeechSynth {
public:
    static constexpr int kMinRate = -10;
    static constexpr int kMaxRate = 10;
    static constexpr int kOutputRate = 16000;

    // Every installed voice, in the library's order. Empty with the reason
    // when the library does not start (its data missing).
    static QList<TVoiceInfo> voices(QString* error);
    // The index of the Russian voice in `list`, or 0.
    static int russianVoice(const QList<TVoiceInfo>& list);
    // Speed r (-10..10) as words per minute: 175 · 3^(r/10), 58..525. The
    // library speaks no slower than 80.
    static int wordsPerMinute(int rate);
    // Renders the text; nothing, with the reason, when the library fails.
    // `cancel` ends rendering early (what was rendered is returned).
    static std::optional<std::vector<int16_t>> render(const QString& text,
                                                      const TSpeechParams& params, QString* error,
                                                      const std::atomic<bool>* cancel = nullptr);
};

// Speaks texts to the sound output in the background: each text is rendered
// on the worker thread and queued to the output after what is still being
// spoken.
class TSpeechOutput {
public:
    TSpeechOutput() = default;
    ~TSpeechOutput();
    TSpeechOutput(const TSpeechOutput&) = delete;
    TSpeechOutput& operator=(const TSpeechOutput&) = delete;

    // Returns at once. False, with the reason in Russian, when the sound
    // output does not open.
    bool speak(const QString& text, const TSpeechParams& params, QString* error);
    // Something is being rendered or still sounds.
    bool busy() const;
    // The reason of the last failure on the worker, empty when none.
    QString lastError() const;

private:
    struct Job {
        QString text;
        TSpeechParams params;
    };
    void work();

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Job> jobs_;
    bool rendering_ = false;
    std::atomic<bool> quit_{false};
    std::thread worker_;
    uint32_t device_ = 0;
    bool subsystem_ = false;
    QString error_;
};

}  // namespace orvel
