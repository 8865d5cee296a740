#include "echo_talk_off.h"

#include <unistd.h>

#include <QDir>
#include <QString>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>

#include "board/dc_block_filter.h"
#include "board/orvel_write_task.h"
#include "dsp/dsp_ops.h"
#include "dtmf_keys.h"
#include "dtmf_test_signals.h"
#include "line_effects.h"
#include "media/message_file.h"
#include "media/record_file.h"
#include "media/speech_synth.h"
#include "notify/demo_setup.h"
#include "speech.h"
#include "tones.h"

namespace orvel::tools {
namespace {

namespace fs = std::filesystem;

constexpr int kRate16k = 16000;
constexpr double kTestBusySeconds = 2.0;   // after the message, before the prompt
constexpr double kTestPauseSeconds = 5.0;  // after the prompt, before the beep
constexpr double kAfterBeepSeconds = 1.0;
constexpr double kLineNoiseDbm0 = -65.0;  // as on the corpus's lines

// What one call makes the engine play: the message and the prompt as the
// engine prepared them (16 kHz).
struct Output {
    std::string name;
    std::vector<int16_t> message;
    std::vector<int16_t> prompt;
};

// The samples the engine plays from a message file: read, checked and
// prepared by its own loader.
std::vector<int16_t> prepared(const std::string& path) {
    auto reader = loadMessageFile(path);
    if (!reader || reader->samples16() == nullptr) {
        return {};
    }
    const int16_t* s = reader->samples16();
    return std::vector<int16_t>(s, s + reader->sampleCount());
}

// The demo's message(s) and prompt from the program directory; a directory
// without them is first prepared as the demo prepares it.
bool demoOutputs(const std::string& programDir, std::vector<Output>& out) {
    QString dir = QString::fromStdString(programDir);
    const auto messagesIn = [](const QString& d) {
        return QDir(d + QStringLiteral("/Messages/Wav"))
            .entryList({QStringLiteral("*.wav"), QStringLiteral("*.WAV")}, QDir::Files, QDir::Name);
    };
    if (dir.isEmpty() || !QDir(dir).exists(QStringLiteral("Confirm.dat")) ||
        messagesIn(dir).isEmpty()) {
        const QString fresh =
            QDir::tempPath() + QStringLiteral("/orvel-echo-demo-") + QString::number(::getpid());
        QString error;
        if (!prepareDemoDirectory(fresh, &error)) {
            std::fprintf(stderr, "the demo directory cannot be prepared: %s\n",
                         error.toStdString().c_str());
            return false;
        }
        std::printf("no demo message in '%s': prepared one in %s\n", programDir.c_str(),
                    fresh.toStdString().c_str());
        dir = fresh;
    }
    const std::vector<int16_t> prompt =
        prepared((dir + QStringLiteral("/Confirm.dat")).toStdString());
    for (const QString& name : messagesIn(dir)) {
        Output o;
        o.name = "demo " + name.toStdString();
        o.message = prepared((dir + QStringLiteral("/Messages/Wav/") + name).toStdString());
        o.prompt = prompt;
        if (o.message.empty() || o.prompt.empty()) {
            std::fprintf(stderr, "the engine refuses the demo's message %s or its prompt\n",
                         name.toStdString().c_str());
            return false;
        }
        out.push_back(std::move(o));
    }
    return true;
}

// Messages made as the program's speech window makes them (the synthesiser's
// Russian voice, its speed setting, saved as a message file), then loaded by
// the engine. Pitch comes with the voice's variants.
bool spokenOutputs(std::vector<Output>& out) {
    static const char* const kMessages[] = {
        "Внимание! Это проверка системы оповещения. Просим вас прибыть на рабочее место к "
        "восьми часам.",
        "Внимание всем сотрудникам! В связи с аварией на подстанции объявлен сбор. Прибыть к "
        "девяти часам девятнадцати минутам по адресу: улица Девятая, дом девяносто девять.",
        "Уважаемый абонент! Штормовое предупреждение. Ожидается усиление ветра до двадцати пяти "
        "метров в секунду. Оставайтесь дома и не подходите к окнам.",
    };
    static const char* const kPrompts[] = {
        "Для подтверждения нажмите девять.",
        "Если вы прослушали сообщение, нажмите цифру девять или положите трубку.",
    };
    static const char* const kVoices[] = {"ru", "ru+m1", "ru+m3", "ru+f2", "ru+f4"};
    static const int kSpeeds[] = {-6, -2, 2, 6};
    const std::string wav =
        (fs::temp_directory_path() / ("orvel-echo-message-" + std::to_string(::getpid()) + ".wav"))
            .string();
    const auto render = [&](const char* text, const TSpeechParams& p) {
        QString error;
        const auto samples = TSpeechSynth::render(QString::fromUtf8(text), p, &error);
        if (!samples || samples->empty() ||
            !saveMessageWav(QString::fromStdString(wav), *samples, &error)) {
            std::fprintf(stderr, "speech for %s at %d: %s\n", p.voice.toStdString().c_str(), p.rate,
                         error.toStdString().c_str());
            return std::vector<int16_t>{};
        }
        return prepared(wav);
    };
    int index = 0;
    for (const char* voice : kVoices) {
        for (int speed : kSpeeds) {
            TSpeechParams p;
            p.voice = QString::fromUtf8(voice);
            p.rate = speed;
            Output o;
            o.name = std::string(voice) + " speed " + std::to_string(speed);
            o.message = render(kMessages[index % std::size(kMessages)], p);
            o.prompt = render(kPrompts[index % std::size(kPrompts)], p);
            ++index;
            if (o.message.empty() || o.prompt.empty()) {
                std::remove(wav.c_str());
                return false;
            }
            out.push_back(std::move(o));
        }
    }
    std::remove(wav.c_str());
    return true;
}

// The beep as the board's transmit task makes it.
std::vector<int16_t> beep() {
    std::vector<int16_t> b(COrvelWriteTask::kBeepSamples);
    dsp::tone(b.data(), b.size(),
              static_cast<float>(COrvelWriteTask::kBeepHz) /
                  static_cast<float>(COrvelWriteTask::kPlayRate),
              0.0f, static_cast<float>(COrvelWriteTask::kBeepMagnitude));
    return b;
}

void appendSilence(std::vector<int16_t>& x, double seconds) {
    x.insert(x.end(), static_cast<size_t>(seconds * kRate16k), 0);
}

struct Tally {
    double playedSeconds = 0;
    double signalSeconds = 0;
    int calls = 0;
    long keys[2] = {0, 0};  // guard off, on
    long nines[2] = {0, 0};
    long keysMixed[2] = {0, 0};  // of them with a person speaking
    long byModel[10][2] = {};
};

}  // namespace

bool echoTalkOff(const EchoTalkOffOptions& options, const std::vector<std::vector<int16_t>>& people,
                 long& falseNines) {
    falseNines = 0;
    std::printf("\n== talk-off on the engine's own output heard back through the echo path ==\n");
    std::vector<Output> outputs;
    if (!demoOutputs(options.programDir, outputs) || !spokenOutputs(outputs)) {
        return false;
    }
    const std::vector<int16_t> theBeep = beep();
    constexpr double kReturnLosses[] = {6, 9, 12, 15, 18, 21, 24};
    constexpr double kPersonPeaks[] = {-6, -15, -25};      // dBm0 at the board
    constexpr int kModels = sim::EchoPath::kMaxModel - 1;  // 2..9
    std::mt19937 rng(7);
    Tally t;
    for (int k = 0; t.playedSeconds < options.minutes * 60; ++k) {
        const Output& o = outputs[static_cast<size_t>(k) % outputs.size()];
        const int model = 2 + k % kModels;
        const double loss = kReturnLosses[(k / kModels) % std::size(kReturnLosses)];
        const bool person = !people.empty() && (k / (kModels * 7)) % 2 == 1;
        // What the engine plays in one call: message, the pause in which it
        // listens for busy, prompt, the pause before the beep, the beep.
        std::vector<int16_t> played(o.message);
        appendSilence(played, kTestBusySeconds);
        played.insert(played.end(), o.prompt.begin(), o.prompt.end());
        appendSilence(played, kTestPauseSeconds);
        played.insert(played.end(), theBeep.begin(), theBeep.end());
        appendSilence(played, kAfterBeepSeconds);
        t.playedSeconds +=
            static_cast<double>(o.message.size() + o.prompt.size() + theBeep.size()) / kRate16k;

        const size_t n = played.size() / 2;
        std::vector<float> line(n, 0.0f);
        if (person) {
            // The person talks on and off through the whole call.
            const double peak = kPersonPeaks[static_cast<size_t>(k) % std::size(kPersonPeaks)];
            size_t at = rng() % 16000;
            while (at < n) {
                std::vector<int16_t> words = people[rng() % people.size()];
                sim::levelTo(words, static_cast<int>(dbm0Peak(peak)));
                for (size_t i = 0; i < words.size() && at + i < n; ++i) {
                    line[at + i] = words[i];
                }
                at += words.size() + 4000 + rng() % 12000;
            }
            sim::BandLimit band;
            band.init(8000);
            band.process(line.data(), static_cast<int>(n));
        }
        sim::NoiseSource noise;
        noise.init(static_cast<uint32_t>(k + 1), kLineNoiseDbm0);
        noise.process(line.data(), static_cast<int>(n));
        sim::HybridEcho echo;
        echo.init(model, loss);
        for (size_t i = 0; i < n; ++i) {
            echo.played(i, sim::HybridEcho::toLineRate(played[2 * i], played[2 * i + 1]));
            line[i] += echo.heard(i);
        }
        // Into the board: its input's DC block, then the channel's detector.
        std::vector<int16_t> samples = toSamples(line);
        CDcBlockingFilter dc;
        dc.init(8000);
        for (auto& s : samples) {
            s = dc.process(s);
        }
        t.signalSeconds += static_cast<double>(n) / 8000;
        ++t.calls;
        std::string got[2];
        for (int g = 0; g < 2; ++g) {
            got[g] = detectKeys(samples, g == 1);
            t.keys[g] += static_cast<long>(got[g].size());
            t.nines[g] += std::count(got[g].begin(), got[g].end(), '9');
            t.keysMixed[g] += person ? static_cast<long>(got[g].size()) : 0;
            t.byModel[model][g] += static_cast<long>(got[g].size());
        }
        if (options.verbose && (!got[0].empty() || !got[1].empty())) {
            std::printf(
                "  %s, model %d, return loss %.0f dB%s: keys '%s' without the guard, '%s' "
                "with it\n",
                o.name.c_str(), model, loss, person ? ", a person speaking" : "", got[0].c_str(),
                got[1].c_str());
        }
    }
    std::printf(
        "engine output: %zu message and prompt pairs (the demo's; synthesised Russian, 5 voices x "
        "4 speeds) and the 500 Hz beep\n",
        outputs.size());
    std::printf(
        "%d calls: %.1f minutes of the engine's output echoed (%.1f minutes of signal), echo "
        "path models 2..9, return loss 6..24 dB, half of the calls with a person speaking at "
        "the far end\n",
        t.calls, t.playedSeconds / 60, t.signalSeconds / 60);
    for (int g = 0; g < 2; ++g) {
        std::printf(
            "false keys %s the guard: %ld (of them key 9: %ld; with a person speaking: %ld)\n",
            g == 0 ? "without" : "with", t.keys[g], t.nines[g], t.keysMixed[g]);
    }
    std::printf("by echo path model (without / with the guard):");
    for (int m = 2; m <= sim::EchoPath::kMaxModel; ++m) {
        std::printf(" %d: %ld/%ld", m, t.byModel[m][0], t.byModel[m][1]);
    }
    std::printf("\n");
    falseNines = t.nines[1];
    return true;
}

}  // namespace orvel::tools
