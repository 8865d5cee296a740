#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "media/message_file.h"
#include "media/wav_file_reader.h"
#include "wav_builder.h"

using namespace orvel;
using orvel::test::TempDir;
using orvel::test::WavBuilder;

namespace {

std::vector<int16_t> tone(double freq, std::size_t n, double amplitude) {
    std::vector<int16_t> v(n);
    for (std::size_t i = 0; i < n; ++i) {
        v[i] = static_cast<int16_t>(
            std::lround(amplitude * std::sin(2 * std::numbers::pi * freq * i / 16000.0)));
    }
    return v;
}

}  // namespace

TEST(WavFileReader, AcceptsPlainPcmWithoutFact) {
    TempDir dir;
    auto samples = tone(1000, 1001, 3000);
    const auto path = dir.write("m.wav", WavBuilder::message(samples));
    CWavFileReader r;
    ASSERT_EQ(r.open(path), 0);
    EXPECT_EQ(r.formatTag(), 1);
    EXPECT_EQ(r.channels(), 1);
    EXPECT_EQ(r.sampleRate(), 16000u);
    EXPECT_EQ(r.bitsPerSample(), 16);
    EXPECT_EQ(r.dataSize(), 2002u);
    EXPECT_EQ(r.sampleCount(), 1001u);
    EXPECT_TRUE(isPlayableMessage(r));
    EXPECT_EQ(std::memcmp(r.samples16(), samples.data(), 2002), 0);
    r.close();
    EXPECT_EQ(r.formatTag(), 0);
    EXPECT_EQ(r.sampleRate(), 0u);
}

TEST(WavFileReader, RefusedFormats) {
    TempDir dir;
    auto samples = tone(1000, 800, 3000);
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"8k.wav", WavBuilder::message(samples, 8000)},
        {"stereo.wav", WavBuilder::message(samples, 16000, 2)},
        {"alaw.wav", WavBuilder::message(samples, 16000, 1, 6)},
    };
    for (const auto& c : cases) {
        const auto path = dir.write(c.name, c.bytes);
        CWavFileReader r;
        EXPECT_EQ(r.open(path), 0) << c.name;  // readable, but not a message
        EXPECT_FALSE(isPlayableMessage(r)) << c.name;
        EXPECT_EQ(loadMessageFile(path), nullptr) << c.name;
    }
    // 8-bit PCM: refused rather than read as 16-bit beyond its data.
    WavBuilder w;
    w.chunk("fmt ", WavBuilder::format(1, 1, 16000, 8));
    w.chunk("data", std::vector<uint8_t>(1000, 128));
    const auto path = dir.write("8bit.wav", w.file());
    CWavFileReader r;
    ASSERT_EQ(r.open(path), 0);
    EXPECT_EQ(r.sampleCount(), 1000u);
    EXPECT_EQ(loadMessageFile(path), nullptr);
}

TEST(WavFileReader, HeaderChecks) {
    TempDir dir;
    auto samples = tone(1000, 100, 3000);
    auto good = [&](int fmtExtension, int riffError = 0) {
        WavBuilder w;
        w.chunk("fmt ", WavBuilder::format(1, 1, 16000, 16, fmtExtension));
        w.chunk("data", WavBuilder::pcm(samples));
        return w.file(riffError);
    };
    CWavFileReader r;
    EXPECT_EQ(r.open(dir.write("riff+1.wav", good(-1, 1))), -1);
    EXPECT_EQ(r.open(dir.write("riff-1.wav", good(-1, -1))), -1);
    EXPECT_EQ(r.open(dir.write("ext0.wav", good(0))), 0);  // 18-byte fmt, no extension

    // An 18-byte chunk that announces a 2-byte extension is refused.
    WavBuilder ext2;
    auto fmt = WavBuilder::format(1, 1, 16000, 16, 2);
    ext2.chunk("fmt ", fmt);
    ext2.chunk("data", WavBuilder::pcm(samples));
    EXPECT_EQ(r.open(dir.write("ext2.wav", ext2.file())), -1);

    auto notRiff = good(-1);
    notRiff[0] = 'X';
    EXPECT_EQ(r.open(dir.write("notriff.wav", notRiff)), -1);
    EXPECT_EQ(r.open(dir.write("empty.wav", {})), -1);
    EXPECT_EQ(r.open(dir.path() + "/missing.wav"), -1);
    EXPECT_EQ(r.open(dir.path()), -1);  // a folder

    // No data, zero data, data beyond the end of the file.
    WavBuilder noData;
    noData.chunk("fmt ", WavBuilder::format(1, 1, 16000, 16));
    EXPECT_EQ(r.open(dir.write("nodata.wav", noData.file())), -1);
    WavBuilder zero = noData;
    zero.chunk("data", {});
    EXPECT_EQ(r.open(dir.write("zero.wav", zero.file())), -1);
    WavBuilder beyond = noData;
    beyond.tag("data");
    beyond.u32(1000);
    beyond.bytes.resize(beyond.bytes.size() + 998);
    EXPECT_EQ(r.open(dir.write("beyond.wav", beyond.file())), -1);

    // A compressed format without "fact" is refused; with it, the count is
    // bounded by the data.
    WavBuilder gsm;
    gsm.chunk("fmt ", WavBuilder::format(49, 1, 16000, 16));
    gsm.chunk("data", std::vector<uint8_t>(100, 0));
    EXPECT_EQ(r.open(dir.write("gsm.wav", gsm.file())), -1);
    WavBuilder gsmFact;
    gsmFact.chunk("fmt ", WavBuilder::format(49, 1, 16000, 16));
    gsmFact.chunk("fact", {0x10, 0x27, 0, 0});  // 10000 samples claimed
    gsmFact.chunk("data", std::vector<uint8_t>(100, 0));
    ASSERT_EQ(r.open(dir.write("gsmfact.wav", gsmFact.file())), 0);
    EXPECT_EQ(r.sampleCount(), 50u);
}

TEST(WavFileReader, ChunksAreFoundByByteScan) {
    // "data" inside an earlier chunk is taken: the scan runs byte by byte.
    TempDir dir;
    WavBuilder w;
    w.chunk("fmt ", WavBuilder::format(1, 1, 16000, 16));
    WavBuilder inner;
    inner.tag("data");
    inner.u32(4);
    inner.u32(0x00020001);
    w.chunk("LIST", inner.bytes);
    w.chunk("data", WavBuilder::pcm(tone(1000, 100, 3000)));
    CWavFileReader r;
    ASSERT_EQ(r.open(dir.write("inner.wav", w.file())), 0);
    EXPECT_EQ(r.dataSize(), 4u);
    EXPECT_EQ(r.sampleCount(), 2u);
    EXPECT_EQ(r.samples16()[0], 1);
    EXPECT_EQ(r.samples16()[1], 2);
}

TEST(WavFileReader, OddDataOffsetIsAlignedInThePrivateCopy) {
    TempDir dir;
    WavBuilder w;
    w.chunk("fmt ", WavBuilder::format(1, 1, 16000, 16));
    w.chunk("junk", {0});  // odd size, no pad byte
    const std::vector<int16_t> samples = {1, -2, 300, -400, 32767};
    w.chunk("data", WavBuilder::pcm(samples));
    const auto path = dir.write("odd.wav", w.file());
    const auto before = dir.read(path);
    CWavFileReader r;
    ASSERT_EQ(r.open(path), 0);
    const int16_t* s = r.samples16();
    ASSERT_EQ(reinterpret_cast<uintptr_t>(s) % 2, 0u);
    EXPECT_EQ(std::vector<int16_t>(s, s + 5), samples);
    r.samples16()[0] = 999;  // writes go to the private copy only
    r.close();
    EXPECT_EQ(dir.read(path), before);
}

TEST(WavFileReader, TruncatedAndCorruptedFilesNeverCrash) {
    TempDir dir;
    auto full = WavBuilder::message(tone(1000, 64, 3000));
    CWavFileReader r;
    for (std::size_t len = 0; len < full.size(); ++len) {
        std::vector<uint8_t> cut(full.begin(), full.begin() + static_cast<long>(len));
        EXPECT_EQ(r.open(dir.write("cut.wav", cut)), -1) << len;
    }
    for (std::size_t at = 4; at < 48; ++at) {
        auto bad = full;
        bad[at] = 0xFF;
        if (r.open(dir.write("bad.wav", bad)) == 0) {
            // Whatever was accepted lies inside the file.
            const auto size = std::filesystem::file_size(dir.path() + "/bad.wav");
            EXPECT_LE(r.dataSize(), size);
            EXPECT_LE(std::size_t{r.sampleCount()} * 2, r.dataSize()) << at;
        }
    }
}

TEST(MessageFile, PreparationClearsTheBandAndNormalises) {
    TempDir dir;
    // 425 Hz and 1500 Hz: the first goes, the second is raised to 16000.
    const std::size_t n = 32000;
    auto a = tone(425, n, 2000);
    auto b = tone(1500, n, 2000);
    std::vector<int16_t> mix(n);
    for (std::size_t i = 0; i < n; ++i) {
        mix[i] = static_cast<int16_t>(a[i] + b[i]);
    }
    const auto path = dir.write("mix.wav", WavBuilder::message(mix));
    const auto before = dir.read(path);
    auto reader = loadMessageFile(path);
    ASSERT_TRUE(reader);
    const int16_t* s = reader->samples16();
    const std::size_t count = reader->sampleCount();
    ASSERT_EQ(count, n);
    const int16_t peak = *std::max_element(s, s + count);
    EXPECT_NEAR(peak, 16000, 5);
    double re = 0, im = 0;
    for (std::size_t i = 8192; i < 24576; ++i) {
        re += s[i] * std::cos(2 * std::numbers::pi * 425 * i / 16000.0);
        im += s[i] * std::sin(2 * std::numbers::pi * 425 * i / 16000.0);
    }
    EXPECT_LT(2 * std::hypot(re, im) / 16384, 16.0);  // 425 Hz: < -60 dB of the peak
    EXPECT_EQ(dir.read(path), before);                // the file never changes
}

TEST(MessageFile, LoudMessagesKeepTheirLevel) {
    TempDir dir;
    auto loud = tone(1500, 16000, 20000);
    auto reader = loadMessageFile(dir.write("loud.wav", WavBuilder::message(loud)));
    ASSERT_TRUE(reader);
    const int16_t* s = reader->samples16();
    const int16_t peak = *std::max_element(s, s + reader->sampleCount());
    EXPECT_NEAR(peak, 20000, 400);
}
