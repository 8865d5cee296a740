#include "played_sound.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "../tasks/wav_file.h"
#include "line_effects.h"
#include "media/message_file.h"
#include "tones.h"

namespace orvel::testing {

PreparedSound prepareAsPlayed(const std::vector<int16_t>& wide, const std::string& tag) {
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("orvel-" + tag + "-" + std::to_string(::getpid()) + ".wav"))
                                 .string();
    tasktest::writeWav(path, wide, kMessageRate);
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
