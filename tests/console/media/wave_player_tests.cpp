// The message preview player on SDL's dummy sound output.

#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <cmath>
#include <thread>

#include "media/wave_player.h"

using namespace orvel;

namespace {

// A 16-bit mono tone at 16000 Hz, as message files are.
QByteArray toneWave(int samples) {
    QByteArray b;
    auto u32 = [&](quint32 v) { b.append(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](quint16 v) { b.append(reinterpret_cast<const char*>(&v), 2); };
    b.append("RIFF");
    u32(36 + samples * 2);
    b.append("WAVEfmt ");
    u32(16);
    u16(1);
    u16(1);
    u32(16000);
    u32(32000);
    u16(2);
    u16(16);
    b.append("data");
    u32(samples * 2);
    for (int i = 0; i < samples; ++i)
        u16(static_cast<quint16>(static_cast<qint16>(5000 * std::sin(i * 0.3))));
    return b;
}

class WavePlayerTest : public ::testing::Test {
protected:
    void SetUp() override { qputenv("SDL_AUDIODRIVER", "dummy"); }
    QString write(const char* name, const QByteArray& bytes) {
        QFile f(dir.filePath(name));
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return f.fileName();
    }
    QTemporaryDir dir;
};

TEST_F(WavePlayerTest, PlaysToTheEndAndAgainFromTheStart) {
    const QString file = write("Сообщение.wav", toneWave(1600));  // 0.1 s
    TWavePlayer player;
    QString error;
    ASSERT_TRUE(player.open(file, &error)) << error.toStdString();
    EXPECT_EQ(player.fileName(), file);
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(player.play());
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (player.isPlaying() && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_FALSE(player.isPlaying()) << "round " << round;
    }
    player.close();
    EXPECT_FALSE(player.isOpen());
    EXPECT_FALSE(player.play());
}

TEST_F(WavePlayerTest, StopSilencesAtOnce) {
    TWavePlayer player;
    ASSERT_TRUE(player.open(write("long.wav", toneWave(16000 * 20)), nullptr));
    ASSERT_TRUE(player.play());
    EXPECT_TRUE(player.isPlaying());
    player.stop();
    EXPECT_FALSE(player.isPlaying());
}

TEST_F(WavePlayerTest, MissingOrBrokenFilesAreRefusedWithAReason) {
    TWavePlayer player;
    QString error;
    EXPECT_FALSE(player.open(dir.filePath("none.wav"), &error));
    EXPECT_FALSE(error.isEmpty());
    error.clear();
    EXPECT_FALSE(player.open(write("text.wav", "not a wave file at all"), &error));
    EXPECT_FALSE(error.isEmpty());
    QByteArray cut = toneWave(1600);
    cut.truncate(30);  // inside the format chunk
    EXPECT_FALSE(player.open(write("cut.wav", cut), nullptr));
    EXPECT_FALSE(player.isOpen());
}

}  // namespace
