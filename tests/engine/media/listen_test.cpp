#include <gtest/gtest.h>

#include <SDL.h>

#include <cstdlib>
#include <numeric>
#include <vector>

#include "media/listen_output.h"
#include "media/ring_buffer.h"
#include "media/sdl_audio.h"

using namespace orvel;

TEST(RingBuffer, Arithmetic) {
    CRingBuffer rb;
    ASSERT_TRUE(rb.Init(2, 4));
    EXPECT_EQ(rb.Slots(), 5u);
    EXPECT_TRUE(rb.IsEmpty());
    EXPECT_EQ(rb.AvailableWrite(), 4u);
    const int16_t in[] = {1, 2, 3, 4, 5};
    EXPECT_EQ(rb.Write(in, 5), 4u);  // the fifth is refused
    EXPECT_EQ(rb.AvailableRead(), 4u);
    EXPECT_EQ(rb.AvailableWrite(), 0u);
    int16_t out[6] = {};
    EXPECT_EQ(rb.Read(out, 2), 2u);
    EXPECT_EQ(out[0], 1);
    EXPECT_EQ(out[1], 2);
    const int16_t more[] = {6, 7, 8};
    EXPECT_EQ(rb.Write(more, 3), 2u);  // across the end of the storage
    EXPECT_EQ(rb.AvailableRead(), 4u);
    EXPECT_EQ(rb.Read(out, 6), 4u);
    EXPECT_EQ((std::vector<int16_t>(out, out + 4)), (std::vector<int16_t>{3, 4, 6, 7}));
    EXPECT_TRUE(rb.IsEmpty());
    EXPECT_EQ(rb.Read(out, 1), 0u);

    // Long runs keep AvailableRead + AvailableWrite equal to the capacity.
    int16_t next = 0, expect = 0;
    for (int round = 0; round < 100; ++round) {
        std::vector<int16_t> chunk(static_cast<std::size_t>(round % 4 + 1));
        for (auto& v : chunk) {
            v = next++;
        }
        const uint32_t w = rb.Write(chunk.data(), static_cast<uint32_t>(chunk.size()));
        next = static_cast<int16_t>(next - (chunk.size() - w));
        ASSERT_EQ(rb.AvailableRead() + rb.AvailableWrite(), 4u);
        int16_t got[3];
        const uint32_t r = rb.Read(got, static_cast<uint32_t>(round % 3 + 1));
        for (uint32_t i = 0; i < r; ++i) {
            ASSERT_EQ(got[i], expect++);
        }
    }
}

TEST(RingBuffer, WithoutStorageNothingMoves) {
    CRingBuffer rb;
    int16_t v[2] = {1, 2};
    EXPECT_EQ(rb.Write(v, 2), 0u);
    EXPECT_EQ(rb.Read(v, 2), 0u);
    EXPECT_EQ(rb.AvailableRead(), 0u);
    EXPECT_EQ(rb.AvailableWrite(), 0u);
    EXPECT_TRUE(rb.IsEmpty());
    ASSERT_TRUE(rb.Init(2, 8));
    rb.Release();
    EXPECT_EQ(rb.Write(v, 2), 0u);
    EXPECT_FALSE(rb.Init(2, 0));
}

TEST(SdlAudio, ALawDecoding) {
    EXPECT_EQ(alawToLinear(0xD5), 8);
    EXPECT_EQ(alawToLinear(0x55), -8);
    EXPECT_EQ(alawToLinear(0xAA), 32256);
    EXPECT_EQ(alawToLinear(0x2A), -32256);
}

class Listening : public ::testing::Test {
protected:
    void SetUp() override { setenv("SDL_AUDIODRIVER", "dummy", 1); }
    std::vector<int16_t> block(int16_t value = 100) { return std::vector<int16_t>(64, value); }
};

TEST_F(Listening, OutputStartsWithTheSeventeenthBlock) {
    CSdlAudio audio;
    ASSERT_EQ(audio.Init(), 0);
    ASSERT_EQ(audio.Open(CSdlAudio::kFormatLinear16, 1, 8000, 512), 0);
    EXPECT_EQ(audio.GrantedPeriodBytes(), 1024u);
    EXPECT_EQ(audio.Fifo().Slots(), 2049u);
    EXPECT_EQ(SDL_GetAudioStatus(), SDL_AUDIO_PAUSED);
    auto b = block();
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(audio.Write(b.data(), 128), 64u);
    }
    EXPECT_EQ(audio.Fifo().AvailableRead(), 1024u);  // exactly half: still paused
    EXPECT_EQ(SDL_GetAudioStatus(), SDL_AUDIO_PAUSED);
    audio.Write(b.data(), 128);
    EXPECT_EQ(SDL_GetAudioStatus(), SDL_AUDIO_PLAYING);
    audio.Close();
    EXPECT_FALSE(audio.IsOpen());
    EXPECT_EQ(audio.Write(b.data(), 128), 0u);
}

TEST_F(Listening, PlaybackDrainsTheFifo) {
    CListenOutput out;
    ASSERT_EQ(out.open(), 0);
    const Address a{0, 2, 7};
    ASSERT_EQ(out.startListening(a), 0);
    auto b = block(1000);
    for (int i = 0; i < 17; ++i) {
        out.onSamples(a, b.data(), b.size());
    }
    // SDL's thread now takes whole periods of 512 samples from the FIFO.
    auto buffered = [&] {
        SDL_LockAudio();
        const uint32_t n = out.audio().Fifo().AvailableRead();
        SDL_UnlockAudio();
        return n;
    };
    const uint32_t start = buffered();
    EXPECT_EQ(start % 64, 0u);
    const auto deadline = SDL_GetTicks64() + 5000;
    while (buffered() + 512 > 17 * 64 && SDL_GetTicks64() < deadline) {
        SDL_Delay(5);
        out.onSamples(a, b.data(), 0);  // harmless empty writes meanwhile
    }
    EXPECT_LE(buffered() + 512, 17u * 64);
    out.stopListening();
}

TEST_F(Listening, CallbackPlaysWholePeriodsOrSilence) {
    CSdlAudio audio;
    ASSERT_EQ(audio.Init(), 0);
    ASSERT_EQ(audio.Open(CSdlAudio::kFormatLinear16, 1, 8000, 512), 0);
    // Paused: SDL's thread does not call back, so the test can.
    std::vector<int16_t> samples(300);
    std::iota(samples.begin(), samples.end(), 1);
    ASSERT_EQ(audio.Write(samples.data(), 600), 300u);
    std::vector<int16_t> period(512, 77);
    CSdlAudio::AudioCallback(&audio, reinterpret_cast<uint8_t*>(period.data()), 1024);
    EXPECT_EQ(period, std::vector<int16_t>(512, 0));
    EXPECT_EQ(audio.Fifo().AvailableRead(), 300u);
    std::vector<int16_t> fill(212, 5);
    audio.Write(fill.data(), 424);
    CSdlAudio::AudioCallback(&audio, reinterpret_cast<uint8_t*>(period.data()), 1024);
    EXPECT_EQ(period[0], 1);
    EXPECT_EQ(period[299], 300);
    EXPECT_EQ(period[300], 5);
    EXPECT_TRUE(audio.Fifo().IsEmpty());
    // A full FIFO drops what does not fit.
    std::vector<int16_t> lots(3000, 1);
    EXPECT_EQ(audio.Write(lots.data(), 6000), 2048u);
}

TEST_F(Listening, OneLineAtATime) {
    CListenOutput out;
    ASSERT_EQ(out.open(), 0);
    const Address a{0, 0, 3}, b{0, 1, 5};
    out.stopListening();  // nothing listened: nothing happens
    ASSERT_EQ(out.startListening(a), 0);
    EXPECT_EQ(out.startListening(b), -1);  // A stays on
    EXPECT_TRUE(out.isListening());
    EXPECT_EQ(out.listened().channel, 3u);
    out.stopListening();
    EXPECT_FALSE(out.isListening());
    EXPECT_EQ(out.listened().channel, 3u);  // kept after stopping
    ASSERT_EQ(out.startListening(b), 0);
    EXPECT_EQ(out.listened().device, 1u);
    out.close();
    EXPECT_FALSE(out.isListening());
}

TEST_F(Listening, OnlyTheListenedLinesSamplesGoOut) {
    CListenOutput out;
    ASSERT_EQ(out.open(), 0);
    const Address a{0, 0, 3};
    ASSERT_EQ(out.startListening(a), 0);
    auto b = block();
    out.onSamples(Address{0, 0, 4}, b.data(), b.size());
    out.onSamples(Address{0, 1, 3}, b.data(), b.size());
    out.onSamples(Address{1, 0, 3}, b.data(), b.size());
    EXPECT_EQ(out.audio().Fifo().AvailableRead(), 0u);
    ReadRecord voltage{a, 1, b.data(), READ_VOLTAGE};
    out.onRead(voltage);
    EXPECT_EQ(out.audio().Fifo().AvailableRead(), 0u);
    ReadRecord samples{a, 128, b.data(), READ_SAMPLES};
    out.onRead(samples);
    out.onSamples(a, b.data(), b.size());
    EXPECT_EQ(out.audio().Fifo().AvailableRead(), 128u);
    out.stopListening();
    out.onRead(samples);  // closed: ignored
    EXPECT_EQ(out.audio().Fifo().AvailableRead(), 0u);
}

TEST_F(Listening, RateChanges) {
    CListenOutput out;
    ASSERT_EQ(out.open(), 0);
    EXPECT_EQ(out.setInputRate(16000), 0);  // not listening: only stored
    EXPECT_FALSE(out.isListening());
    ASSERT_EQ(out.startListening(Address{0, 0, 1}), 0);
    EXPECT_EQ(out.audio().GrantedRate(), 16000u);
    EXPECT_EQ(out.setInputRate(8000), 0);  // reopened at the new rate
    EXPECT_TRUE(out.isListening());
    EXPECT_EQ(out.audio().GrantedRate(), 8000u);
}

TEST_F(Listening, NoSoundDeviceOnlyFailsListening) {
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    CListenOutput out;
    EXPECT_EQ(out.open(), -1);
    EXPECT_EQ(out.startListening(Address{0, 0, 1}), -1);
    EXPECT_FALSE(out.isListening());
    auto b = block();
    out.onSamples(Address{0, 0, 1}, b.data(), b.size());  // harmless
    out.stopListening();
    EXPECT_EQ(out.setInputRate(8000), 0);
    out.close();
}
