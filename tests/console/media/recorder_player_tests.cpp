// Recording and playing messages on SDL's disk audio driver: the input is
// read from a file of known samples, the output written to a file.

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <chrono>
#include <cmath>
#include <thread>

#include "core/safe_file.h"
#include "media/dvr_wave_player.h"
#include "media/message_check.h"
#include "media/record_file.h"
#include "media/wave_capture.h"
#include "media/wave_player.h"

using namespace orvel;
using Clock = std::chrono::steady_clock;

namespace {

int16_t toneSample(int n) {
    return int16_t(std::lround(8000 * std::sin(2 * M_PI * 1000 * n / 16000.0)));
}

QByteArray le16(const std::vector<int16_t>& s) {
    QByteArray b(qsizetype(s.size() * 2), '\0');
    for (size_t i = 0; i < s.size(); ++i)
        qToLittleEndian<qint16>(s[i], b.data() + 2 * i);
    return b;
}

// A wave file with the given format fields and raw data.
QByteArray waveFile(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits,
                    uint16_t blockAlign, const QByteArray& data, uint32_t statedDataSize = 0) {
    QByteArray b;
    auto u32 = [&](quint32 v) {
        char r[4];
        qToLittleEndian(v, r);
        b.append(r, 4);
    };
    auto u16 = [&](quint16 v) {
        char r[2];
        qToLittleEndian(v, r);
        b.append(r, 2);
    };
    b.append("RIFF");
    u32(36 + data.size());
    b.append("WAVEfmt ");
    u32(16);
    u16(tag);
    u16(channels);
    u32(rate);
    u32(rate * blockAlign);
    u16(blockAlign);
    u16(bits);
    b.append("data");
    u32(statedDataSize != 0 ? statedDataSize : data.size());
    b.append(data);
    return b;
}

bool waitFor(const std::function<bool()>& done, int ms) {
    const auto until = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < until) {
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return done();
}

class DiskAudio : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        qputenv("SDL_AUDIODRIVER", "disk");
        qputenv("SDL_DISKAUDIOFILE", QFile::encodeName(dir.filePath("out.raw")));
        qputenv("SDL_DISKAUDIOINFILE", QFile::encodeName(dir.filePath("in.raw")));
    }
    // SDL 2.26 reads the default capture device from "sdlaudio-in.raw" in the
    // current directory and heeds SDL_DISKAUDIOINFILE only for devices
    // opened by name, so the input is put in both places.
    void input(const QByteArray& bytes) {
        write("in.raw", bytes);
        write("sdlaudio-in.raw", bytes);
        QDir::setCurrent(dir.path());
    }
    void TearDown() override { QDir::setCurrent(QDir::tempPath()); }
    QString write(const QString& name, const QByteArray& bytes) {
        QFile f(dir.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return f.fileName();
    }
    QTemporaryDir dir;
};

}  // namespace

TEST(RecordFile, HeaderCarriesTheSizesOfWhatWasRecorded) {
    QTemporaryDir dir;
    const QString path = dir.filePath("wav.tmp");
    TRecordFile file;
    ASSERT_TRUE(file.create(path, nullptr));
    const QByteArray second(kRecordBytesPerSecond, '\x11');
    for (int s = 0; s < 10; ++s)
        ASSERT_TRUE(file.append(second.constData(), second.size()));
    ASSERT_TRUE(file.finish());

    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray all = f.readAll();
    ASSERT_EQ(all.size(), 58 + 320000);
    EXPECT_EQ(all.left(4), "RIFF");
    EXPECT_EQ(qFromLittleEndian<quint32>(all.constData() + 4), quint32(all.size() - 8));
    EXPECT_EQ(all.mid(8, 8), "WAVEfmt ");
    EXPECT_EQ(qFromLittleEndian<quint32>(all.constData() + 16), 18u);
    EXPECT_EQ(all.mid(38, 4), "fact");
    EXPECT_EQ(qFromLittleEndian<quint32>(all.constData() + 46), 160000u);
    EXPECT_EQ(all.mid(50, 4), "data");
    EXPECT_EQ(qFromLittleEndian<quint32>(all.constData() + 54), 320000u);
    EXPECT_TRUE(engineAcceptsMessage(path));

    // Nothing recorded: the header alone, with zero sizes.
    ASSERT_TRUE(file.create(path, nullptr));
    ASSERT_TRUE(file.finish());
    EXPECT_EQ(QFile(path).size(), 58);
    EXPECT_EQ(recordHeader(0), [&] {
        QFile g(path);
        g.open(QIODevice::ReadOnly);
        return g.readAll();
    }());
}

TEST(RecordFile, FileThatCannotBeCreatedIsReported) {
    QTemporaryDir dir;
    TRecordFile file;
    QString error;
    EXPECT_FALSE(file.create(dir.filePath("missing/wav.tmp"), &error));
    EXPECT_TRUE(file.failed());
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(file.append("ab", 2));
}

// A full disk while recording: each failure is reported once, the buffers
// not written wait for the next write that works, and the file always holds
// the part recorded so far under a header that describes it.
TEST(RecordFile, FailedWritesLoseNothingAndAreReportedOnce) {
    QTemporaryDir dir;
    const QString path = dir.filePath("wav.tmp");
    QStringList reported;
    setWriteFailureReporter([&](const QString& p, const QString&) { reported << p; });
    int failing = 0;  // the next so many writes to the file fail
    setWriteFaultHook([&](const QString& p) { return p == path && failing-- > 0; });
    const QByteArray second(kRecordBytesPerSecond, '\x11');
    const auto statedData = [&] {
        const QByteArray all = [&] {
            QFile g(path);
            return g.open(QIODevice::ReadOnly) ? g.readAll() : QByteArray();
        }();
        return all.size() < kRecordHeaderBytes
                   ? -1
                   : qint64(qFromLittleEndian<quint32>(all.constData() + 54));
    };

    TRecordFile file;
    ASSERT_TRUE(file.create(path, nullptr));
    ASSERT_TRUE(file.append(second.constData(), second.size()));
    failing = 2;
    EXPECT_FALSE(file.append(second.constData(), second.size()));
    EXPECT_FALSE(file.append(second.constData(), second.size()));
    EXPECT_EQ(file.unsavedBytes(), 2 * kRecordBytesPerSecond);
    EXPECT_EQ(QFile(path).size(), kRecordHeaderBytes + kRecordBytesPerSecond);
    EXPECT_EQ(reported, QStringList{path});
    EXPECT_FALSE(file.error().isEmpty());
    EXPECT_FALSE(file.failed());
    // The disk has room again: the next buffer brings the waiting ones along.
    ASSERT_TRUE(file.append(second.constData(), second.size()));
    EXPECT_EQ(file.unsavedBytes(), 0);
    EXPECT_EQ(file.dataBytes(), 4 * kRecordBytesPerSecond);
    ASSERT_TRUE(file.finish());
    EXPECT_EQ(statedData(), 4 * kRecordBytesPerSecond);
    EXPECT_EQ(QFile(path).size(), kRecordHeaderBytes + 4 * kRecordBytesPerSecond);
    EXPECT_TRUE(engineAcceptsMessage(path));

    // Full to the end: the file keeps the two seconds written, and says so.
    reported.clear();
    ASSERT_TRUE(file.create(path, nullptr));
    ASSERT_TRUE(file.append(second.constData(), second.size()));
    ASSERT_TRUE(file.append(second.constData(), second.size()));
    failing = 2;  // this buffer and the last try at the end; the header goes in
    EXPECT_FALSE(file.append(second.constData(), second.size()));
    EXPECT_FALSE(file.finish());
    EXPECT_EQ(file.unsavedBytes(), kRecordBytesPerSecond);
    EXPECT_EQ(statedData(), 2 * kRecordBytesPerSecond);
    EXPECT_TRUE(engineAcceptsMessage(path));
    EXPECT_EQ(reported, QStringList{path});

    // Not even created: the old file stays, and nothing is taken for this
    // recording.
    const qint64 before = QFile(path).size();
    failing = 1;
    TRecordFile other;
    QString error;
    EXPECT_FALSE(other.create(path, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(other.failed());
    EXPECT_FALSE(other.append(second.constData(), second.size()));
    EXPECT_EQ(QFile(path).size(), before);

    setWriteFaultHook(nullptr);
    setWriteFailureReporter(nullptr);
}

TEST_F(DiskAudio, RecordingOfAToneSavesTheToneAsAMessage) {
    std::vector<int16_t> tone(16000 * 3);
    for (size_t n = 0; n < tone.size(); ++n)
        tone[n] = toneSample(int(n));
    input(le16(tone));

    const QString tmp = dir.filePath("wav.tmp");
    TWaveCapture capture;
    QString error;
    ASSERT_TRUE(capture.start(tmp, &error)) << error.toStdString();
    EXPECT_FALSE(capture.fileFailed());
    int buffers = 0;
    ASSERT_TRUE(waitFor(
        [&] {
            buffers += capture.takeFilled();
            return buffers >= 4;
        },
        15000));
    EXPECT_EQ(capture.lastBuffer().size(), TWaveCapture::kBufferBytes);
    capture.stop();
    ASSERT_FALSE(capture.recording());

    QFile f(tmp);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray all = f.readAll();
    const qint64 data = all.size() - 58;
    ASSERT_GE(data, 4 * TWaveCapture::kBufferBytes);
    EXPECT_EQ(data % TWaveCapture::kBufferBytes, 0) << "whole half-second buffers only";
    EXPECT_EQ(all.left(58), recordHeader(uint32_t(data)));
    EXPECT_EQ(capture.samplesRecorded(), data / 2);
    // The first two seconds are the tone, sample for sample.
    for (int n = 0; n < 32000; ++n)
        ASSERT_EQ(qFromLittleEndian<qint16>(all.constData() + 58 + 2 * n), tone[size_t(n)])
            << "sample " << n;
    EXPECT_TRUE(engineAcceptsMessage(tmp));
    EXPECT_EQ(TWaveCapture::counterText(capture.samplesRecorded(), "мин", "сек").left(2), "0 ");
}

TEST_F(DiskAudio, StoppingBeforeHalfASecondLeavesTheHeaderOnly) {
    input(le16(std::vector<int16_t>(16000, 1000)));
    const QString tmp = dir.filePath("wav.tmp");
    TWaveCapture capture;
    ASSERT_TRUE(capture.start(tmp, nullptr));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    capture.stop();
    EXPECT_EQ(QFile(tmp).size(), 58);
    EXPECT_EQ(capture.samplesRecorded(), 0);
}

TEST_F(DiskAudio, FailedTemporaryFileIsToldAndRecordingGoesOn) {
    input(le16(std::vector<int16_t>(16000, 1000)));
    TWaveCapture capture;
    ASSERT_TRUE(capture.start(dir.filePath("no/such/dir/wav.tmp"), nullptr));
    EXPECT_TRUE(capture.recording());
    EXPECT_TRUE(capture.fileFailed());
    EXPECT_FALSE(capture.fileError().isEmpty());
    capture.stop();
}

TEST(TimeCounter, ShowsWholeMinutesAndSeconds) {
    EXPECT_EQ(TWaveCapture::counterText(65 * 16000, "мин", "сек"), "1 мин.   5 сек.");
    EXPECT_EQ(TWaveCapture::counterText(0, "мин", "сек"), "0 мин.   0 сек.");
}

TEST_F(DiskAudio, PlaybackReachesTheEndAndStopsThere) {
    std::vector<int16_t> s(16000 * 6 / 10);  // 0.6 s
    for (size_t n = 0; n < s.size(); ++n)
        s[n] = toneSample(int(n));
    const QString file = write("m.wav", waveFile(1, 1, 16000, 16, 2, le16(s)));
    TDVRWavePlayer player;
    ASSERT_EQ(player.OpenWave(file), 0) << player.ErrorText().toStdString();
    EXPECT_EQ(player.StateName(), "Open");
    EXPECT_EQ(player.Duration(), 600u);
    EXPECT_EQ(player.Position(), 0u);
    ASSERT_TRUE(player.Play());
    EXPECT_EQ(player.StateName(), "Play");
    uint32_t seenMid = 0;
    ASSERT_TRUE(waitFor(
        [&] {
            const uint32_t p = player.Position();
            if (p > 0 && p < 600)
                seenMid = p;
            return player.state() == TDVRWavePlayer::kStop;
        },
        10000));
    EXPECT_GT(seenMid, 0u) << "the position moved while playing";
    EXPECT_EQ(player.Position(), player.Duration());
    EXPECT_EQ(player.PositionText(), "00:00:00.6");
    // At the end, play does nothing until the position moves back.
    ASSERT_TRUE(player.Play());
    EXPECT_EQ(player.StateName(), "Stop");
    player.SeekTo(300);
    EXPECT_EQ(player.Position(), 300u);
    player.StopAndRewind();
    EXPECT_EQ(player.Position(), 0u);
    EXPECT_EQ(player.StateName(), "Stop");
    player.CloseWave();
    EXPECT_EQ(player.StateName(), "Close");
    // The output got the samples.
    EXPECT_GE(QFile(dir.filePath("out.raw")).size(), qint64(s.size() * 2));
}

TEST_F(DiskAudio, StoppingMidPlaybackRewindsAndSilencesTheOutput) {
    // The sound thread pulls samples while the window starts and stops: both
    // must get through, again and again, without either waiting for ever.
    std::vector<int16_t> s(16000 * 3);  // 3 s
    for (size_t n = 0; n < s.size(); ++n)
        s[n] = toneSample(int(n));
    const QString file = write("long.wav", waveFile(1, 1, 16000, 16, 2, le16(s)));
    TDVRWavePlayer player;
    ASSERT_EQ(player.OpenWave(file), 0) << player.ErrorText().toStdString();
    for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(player.Play());
        ASSERT_TRUE(player.Play()) << "play while playing goes on playing";
        ASSERT_TRUE(waitFor([&] { return player.Position() > 0; }, 10000)) << "round " << round;
        player.StopAndRewind();
        EXPECT_EQ(player.StateName(), "Stop");
        EXPECT_EQ(player.Position(), 0u);
        std::this_thread::sleep_for(std::chrono::milliseconds(150));  // several output blocks
        EXPECT_EQ(player.Position(), 0u) << "nothing is pulled after the stop, round " << round;
    }
    player.CloseWave();
    EXPECT_EQ(player.StateName(), "Close");
}

TEST_F(DiskAudio, SeekingLandsOnWholeSampleFrames) {
    // 16-bit stereo at 11025 Hz: 4-byte frames, 44100 bytes a second, so
    // 7 ms is 308.7 bytes. Each frame's left sample holds its index.
    std::vector<int16_t> s;
    for (int frame = 0; frame < 11025; ++frame) {
        s.push_back(int16_t(frame));
        s.push_back(int16_t(-frame));
    }
    const QString file = write("st.wav", waveFile(1, 2, 11025, 16, 4, le16(s)));
    TDVRWavePlayer player;
    ASSERT_EQ(player.OpenWave(file), 0) << player.ErrorText().toStdString();
    for (uint32_t ms : {7u, 13u, 999u, 1u}) {
        player.SeekTo(ms);
        const auto at = player.samplesAtPosition(2);
        ASSERT_EQ(at.size(), 2u);
        const int expected = int(std::lround(ms * 44.1)) / 4;
        EXPECT_EQ(at[0], expected) << ms << " ms";
        EXPECT_EQ(at[1], expected + 1) << "the next frame follows at " << ms;
    }
    player.SeekTo(5000);  // beyond the end: the end
    EXPECT_EQ(player.Position(), player.Duration());
}

TEST_F(DiskAudio, FilesWithImpossibleFormatsAreRefusedBeforeAnyDivision) {
    const QByteArray data(64, '\0');
    struct Case {
        const char* name;
        QByteArray bytes;
    };
    const Case cases[] = {
        {"three channels", waveFile(1, 3, 16000, 16, 6, data)},
        {"no bits", waveFile(1, 1, 16000, 0, 2, data)},
        {"block alignment 0", waveFile(1, 1, 16000, 16, 0, data)},
        {"block alignment 3", waveFile(1, 1, 16000, 16, 3, data)},
        {"24-bit", waveFile(1, 1, 16000, 24, 3, data)},
        {"no data chunk", waveFile(1, 1, 16000, 16, 2, data).left(36)},
        {"not RIFF", QByteArray("RIFX") + waveFile(1, 1, 16000, 16, 2, data).mid(4)},
    };
    TDVRWavePlayer player;
    for (const Case& c : cases) {
        const QString file = write("bad.wav", c.bytes);
        EXPECT_NE(player.OpenWave(file), 0) << c.name;
        EXPECT_TRUE(player.ErrorText().startsWith("Невозможно определить формат файла!"))
            << c.name << ": " << player.ErrorText().toStdString();
        EXPECT_EQ(player.StateName(), "Close");
    }
    EXPECT_NE(player.OpenWave(dir.filePath("absent.wav")), 0);
    EXPECT_EQ(player.ErrorText(), "Указанный файл не найден!");

    // A data size beyond the file is bounded by the file.
    const QString cut =
        write("cut.wav", waveFile(1, 1, 16000, 16, 2, QByteArray(3200, '\0'), 0xFFFFFFF0u));
    ASSERT_EQ(player.OpenWave(cut), 0) << player.ErrorText().toStdString();
    EXPECT_EQ(player.Duration(), 100u);
}

TEST_F(DiskAudio, SoundSystemFailuresAreToldInRussian) {
    const QString file = write("m.wav", waveFile(1, 1, 16000, 16, 2, QByteArray(3200, '\0')));
    input(QByteArray(3200, '\0'));
    qputenv("SDL_AUDIODRIVER", "no-such-driver");
    TDVRWavePlayer player;
    EXPECT_NE(player.OpenWave(file), 0);
    EXPECT_TRUE(player.ErrorText().startsWith(
        QStringLiteral("Не удалось открыть устройство вывода звука: ")))
        << player.ErrorText().toStdString();
    TWavePlayer preview;
    QString error;
    EXPECT_FALSE(preview.open(file, &error));
    EXPECT_TRUE(error.startsWith(QStringLiteral("Не удалось открыть устройство вывода звука: ")))
        << error.toStdString();
    EXPECT_FALSE(preview.open(dir.filePath("absent.wav"), &error));
    EXPECT_EQ(error, QStringLiteral("Указанный файл не найден!"));
    TWaveCapture capture;
    EXPECT_FALSE(capture.start(dir.filePath("wav.tmp"), &error));
    EXPECT_TRUE(error.startsWith(QStringLiteral("Не удалось открыть устройство записи звука: ")))
        << error.toStdString();
    EXPECT_FALSE(error.contains("Audio target")) << "the reason is in Russian too";
}
