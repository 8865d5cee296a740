#include "played_sound.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "line_effects.h"
#include "media/message_file.h"
#include "tones.h"

namespace orvel::testing {
namespace {

void writeWave(const std::string& path, const std::vector<int16_t>& s) {
    std::ofstream f(path, std::ios::binary);
    const auto u32 = [&](uint32_t x) { f.write(reinterpret_cast<const char*>(&x), 4); };
    const auto u16 = [&](uint16_t x) { f.write(reinterpret_cast<const char*>(&x), 2); };
    const auto bytes = static_cast<uint32_t>(s.size() * 2);
    f.write("RIFF", 4);
    u32(36 + bytes);
    f.write("WAVEfmt ", 8);
    u32(16);
    u16(1);
    u16(1);
    u32(kMessageRate);
    u32(kMessageRate * 2);
    u16(2);
    u16(16);
    f.write("data", 4);
    u32(bytes);
    f.write(reinterpret_cast<const char*>(s.data()), static_cast<std::streamsize>(bytes));
}

}  // namespace

PreparedSound prepareAsPlayed(const std::vector<int16_t>& wide, const std::string& tag) {
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("orvel-" + tag + "-" + std::to_string(::getpid()) + ".wav"))
                                 .string();
    writeWave(path, wide);
    auto reader = loadMessageFile(path);
    std::remove(path.c_str());
    PreparedSound p;
    EXPECT_TRUE(reader && reader->samples16() != nullptr) << "the engine refused " << tag;
    if (!reader || reader->samples16() == nullptr) {
        return p;
    }
    p.wide.assign(reader->samples16(), reader->samples16() + reader->sampleCount());
    for (size_t i = 0; i + 1 < p.wide.size(); i += 2) {
        p.line.push_back(sim::HybridEcho::toLineRate(p.wide[i], p.wide[i + 1]));
    }
    return p;
}

AnalysedLine::AnalysedLine(CSignalProcessing& sp) {
    dc_.init(8000);
    std::vector<float> quiet(CSignalProcessing::kCalibrationFrames * kFrame, 0.0f);
    sim::NoiseSource noise;
    noise.init(99, -65.0);
    noise.process(quiet.data(), static_cast<int>(quiet.size()));
    sp.startCalibration();
    for (size_t f = 0; f < CSignalProcessing::kCalibrationFrames; ++f) {
        sp.calibrationFrame(frame(quiet.data() + f * kFrame), kFrame);
    }
    sp.seize();
    sp.setFilterMode(2);
    sp.playOn();
}

const int16_t* AnalysedLine::frame(const float* x) {
    for (int i = 0; i < kFrame; ++i) {
        frame_[i] = dc_.process(static_cast<int16_t>(std::clamp(x[i], -32768.0f, 32767.0f)));
    }
    return frame_;
}

}  // namespace orvel::testing
