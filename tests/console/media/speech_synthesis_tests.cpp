// Speech synthesis of a Russian text into a message file.

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <chrono>
#include <thread>

#include "media/message_check.h"
#include "media/message_file.h"
#include "media/message_levels.h"
#include "media/record_file.h"
#include "media/speech_synth.h"

using namespace orvel;

namespace {

const QString kText = QStringLiteral(
    "Внимание! Это тестовое сообщение системы оповещения. Просим вас подтвердить получение "
    "сообщения нажатием клавиши девять.");

// Speech rates count words of six characters (five letters and a space).
double expectedSeconds(const QString& text, int wpm) {
    return text.size() / 6.0 / wpm * 60.0;
}

}  // namespace

TEST(SpeechSynthesis, EveryInstalledVoiceIsListedWithItsAttributes) {
    QString error;
    const auto voices = TSpeechSynth::voices(&error);
    ASSERT_GT(voices.size(), 10) << error.toStdString();
    const int ru = TSpeechSynth::russianVoice(voices);
    EXPECT_EQ(voices[ru].language, "ru");
    EXPECT_FALSE(voices[ru].name.isEmpty());
    EXPECT_FALSE(voices[ru].gender.isEmpty());
    EXPECT_TRUE(voices[ru].description().contains("ru"));
}

TEST(SpeechSynthesis, SpeedBarMapsToWordsPerMinute) {
    EXPECT_EQ(TSpeechSynth::wordsPerMinute(0), 175);
    EXPECT_EQ(TSpeechSynth::wordsPerMinute(10), 525);
    EXPECT_EQ(TSpeechSynth::wordsPerMinute(-10), 58);
    EXPECT_EQ(TSpeechSynth::wordsPerMinute(5), 303);
    EXPECT_EQ(TSpeechSynth::wordsPerMinute(40), 525);
}

TEST(SpeechSynthesis, RussianTextBecomesAMessageTheEngineLoads) {
    TSpeechParams params;
    params.voice = TSpeechSynth::voices(nullptr)
                       .value(TSpeechSynth::russianVoice(TSpeechSynth::voices(nullptr)))
                       .identifier;
    QString error;
    const auto samples = TSpeechSynth::render(kText, params, &error);
    ASSERT_TRUE(samples.has_value()) << error.toStdString();
    const double seconds = double(samples->size()) / 16000;
    const double expected = expectedSeconds(kText, 175);
    EXPECT_NEAR(seconds, expected, expected * 0.2);

    const TMessageLevels levels = measureLevels(samples->data(), samples->size());
    EXPECT_TRUE(levels.warning().isEmpty()) << levels.text().toStdString();

    QTemporaryDir dir;
    const QString path = dir.filePath("Синтез.wav");
    ASSERT_TRUE(saveMessageWav(path, *samples, &error)) << error.toStdString();
    EXPECT_TRUE(engineAcceptsMessage(path));
    auto loaded = loadMessageFile(QFile::encodeName(path).toStdString());
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->sampleCount(), samples->size());
    EXPECT_EQ(loaded->sampleRate(), 16000u);

    // Faster speech is shorter; quieter speech is quieter.
    params.rate = 10;
    const auto fast = TSpeechSynth::render(kText, params, &error);
    ASSERT_TRUE(fast.has_value());
    EXPECT_LT(fast->size(), samples->size() * 6 / 10);
    params.rate = 0;
    params.volume = 10;
    const auto soft = TSpeechSynth::render(kText, params, &error);
    ASSERT_TRUE(soft.has_value());
    EXPECT_LT(measureLevels(soft->data(), soft->size()).rmsDb, levels.rmsDb - 6);
}

TEST(SpeechSynthesis, UnknownVoiceIsRefused) {
    TSpeechParams params;
    params.voice = "no-such-voice";
    QString error;
    EXPECT_FALSE(TSpeechSynth::render("тест", params, &error).has_value());
    EXPECT_TRUE(error.contains("no-such-voice"));
}

TEST(SpeechSynthesis, ListeningSpeaksInTheBackground) {
    qputenv("SDL_AUDIODRIVER", "dummy");
    TSpeechOutput out;
    QString error;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(out.speak(kText, {}, &error)) << error.toStdString();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500))
        << "speak returns at once";
    EXPECT_TRUE(out.busy());
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (out.busy() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(out.busy()) << "the speech was played out";
    EXPECT_TRUE(out.lastError().isEmpty());
}
