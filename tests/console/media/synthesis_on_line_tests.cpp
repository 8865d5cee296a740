// A message synthesised from a Russian text, loaded by the line engine and
// played in a call on the simulated boards: the subscriber hears it.

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <array>
#include <chrono>
#include <cmath>
#include <mutex>
#include <thread>

#include "board/driver_host.h"
#include "media/record_file.h"
#include "media/speech_synth.h"
#include "orvel.h"
#include "sim_driver.h"

using namespace orvel;

namespace {

std::mutex g_mutex;
std::vector<uint32_t> g_results;

void onResult(uint32_t, uint32_t, uint32_t result) {
    std::lock_guard lock(g_mutex);
    g_results.push_back(result);
}

bool waitUntil(const std::function<bool()>& done, double seconds) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < until) {
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return done();
}

// Loudness in 50 ms frames.
std::vector<double> envelope(const std::vector<int16_t>& s) {
    constexpr size_t kFrame = 800;
    std::vector<double> e;
    for (size_t at = 0; at + kFrame <= s.size(); at += kFrame) {
        double sum = 0;
        for (size_t i = at; i < at + kFrame; ++i)
            sum += double(s[i]) * s[i];
        e.push_back(std::sqrt(sum / kFrame));
    }
    return e;
}

// The best normalised correlation of `part` against `whole` at any offset.
double bestMatch(const std::vector<double>& whole, const std::vector<double>& part) {
    double best = 0;
    for (size_t lag = 0; lag + part.size() <= whole.size(); ++lag) {
        double xy = 0, xx = 0, yy = 0, mx = 0, my = 0;
        for (size_t i = 0; i < part.size(); ++i) {
            mx += whole[lag + i];
            my += part[i];
        }
        mx /= double(part.size());
        my /= double(part.size());
        for (size_t i = 0; i < part.size(); ++i) {
            const double x = whole[lag + i] - mx, y = part[i] - my;
            xy += x * y;
            xx += x * x;
            yy += y * y;
        }
        if (xx > 0 && yy > 0)
            best = std::max(best, xy / std::sqrt(xx * yy));
    }
    return best;
}

}  // namespace

TEST(SynthesisOnLine, CalledSubscriberHearsTheSynthesisedMessage) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(
        QFile::copy(QStringLiteral(ORVEL_SOURCE_DATA_DIR "/orvel.fis"), dir.filePath("orvel.fis")));
    QString error;
    const auto speech = TSpeechSynth::render(
        QStringLiteral("Внимание! Учебная тревога. Подтвердите получение."), {}, &error);
    ASSERT_TRUE(speech.has_value()) << error.toStdString();
    const QString message = dir.filePath("Тревога.wav");
    ASSERT_TRUE(saveMessageWav(message, *speech, &error)) << error.toStdString();

    sim::SimConfig config;
    std::string why;
    ASSERT_TRUE(sim::loadConfig(ORVEL_SOURCE_DATA_DIR "/orvelsim.ini", config, why)) << why;
    config.logFile.clear();
    config.adcRate = 250;
    config.recordSeconds = 40;
    config.boards[1].present = false;
    config.boards[0].lines.fill(sim::LineConfig{});
    auto simDriver = std::make_shared<sim::SimDriver>(config, sim::SimDriver::Clock::RealTime);
    driver::DriverHost::setOverride(simDriver);

    const QByteArray program = QFile::encodeName(dir.path());
    ASSERT_EQ(InitDll(program.constData()), 0);
    ASSERT_EQ(LoadSoundFile(QFile::encodeName(message).constData(), 1), 0)
        << "the engine takes the synthesised message";
    ASSERT_EQ(LoadConfirmFile(QFile::encodeName(message).constData(), 2), 0);
    ASSERT_EQ(StartDll(), 0);
    setNotifyResultCallback(onResult);
    ASSERT_EQ(AssignLine(0, 0), 0);
    const auto ready = [] {
        std::vector<uint32_t> words(ORVEL_LINE_STATE_WORDS, 0);
        GetLineState(words.data());
        return words[1] == 1;
    };
    ASSERT_TRUE(waitUntil(ready, 60)) << "line ready";
    simDriver->card(0)->clearRecord(0);
    ASSERT_EQ(CallAbonent(0, 0, "w100", 1, 1, 2, 1), 0);
    const bool done = waitUntil(
        [] {
            std::lock_guard lock(g_mutex);
            return !g_results.empty();
        },
        180);
    const sim::LineRecord rec = simDriver->card(0)->record(0);
    setNotifyResultCallback(nullptr);
    ShutdownDll();
    driver::DriverHost::setOverride(nullptr);

    std::string story;
    for (const auto& e : rec.events)
        story += std::to_string(e.seconds) + " " + e.text + "\n";
    ASSERT_TRUE(done) << "the call ended; the line heard:\n" << story;
    EXPECT_EQ(g_results.front(), uint32_t(ORVEL_NR_NOTIFY_OK));
    EXPECT_EQ(rec.number, "100") << story;
    ASSERT_GE(rec.audio.size(), speech->size()) << "the line carried the message";
    // The engine filters and levels the message, so its loudness contour,
    // not its samples, is what the subscriber's record must show.
    const double match = bestMatch(envelope(rec.audio), envelope(*speech));
    EXPECT_GT(match, 0.7) << "the words are heard in the line";
}
