// The simulator's configuration file, its number plan, and the driver module
// as the engine loads it.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "number_plan.h"
#include "sim_config.h"
#include "sim_driver.h"
#include "speech.h"

namespace orvel::sim::test {
namespace {

namespace fs = std::filesystem;

class TempDir {
public:
    TempDir() {
        path = fs::temp_directory_path() /
               ("orvelsim_test_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
        fs::create_directories(path);
    }
    ~TempDir() { fs::remove_all(path); }
    std::string write(const std::string& name, const std::string& text) const {
        std::ofstream(path / name) << text;
        return (path / name).string();
    }
    fs::path path;
    static inline int counter = 0;
};

TEST(SimConfigFile, ReadsBoardsLinesAndPlan) {
    TempDir dir;
    std::string file = dir.write("orvelsim.ini", R"([Simulator]
AdcRate=200
Speed=4
[Lines]
IdleVolts=60
[Board0]
Units=2,0,3
Options=0,0,1
Serials=5,6,7
StuckUnit2=0:77
[Board0.Line4]
CutAt=30
Polarity=minus
[Board3]
Units=6,6,6
[Plan]
Default=busy
100=answer rings=3 say="Алло" key=9 keyat=end2 hangup=45
2XX+=noanswer
)");
    SimConfig c;
    std::string error;
    ASSERT_TRUE(loadConfig(file, c, error)) << error;
    EXPECT_EQ(c.adcRate, 200);
    EXPECT_DOUBLE_EQ(c.speed, 4);
    EXPECT_TRUE(c.boards[0].present);
    EXPECT_FALSE(c.boards[1].present);
    EXPECT_TRUE(c.boards[3].present);
    EXPECT_EQ(c.boards[0].channelCount(), 5);
    EXPECT_EQ(c.boards[3].channelCount(), 18);
    EXPECT_TRUE(c.boards[0].units[2].option);
    EXPECT_EQ(c.boards[0].units[1].serial, 6);
    EXPECT_EQ(c.boards[0].units[2].stuck[0], 77);
    EXPECT_EQ(c.boards[0].units[0].stuck[0], -1);
    EXPECT_DOUBLE_EQ(c.boards[0].lines[4].cutAt, 30);
    EXPECT_FALSE(c.boards[0].lines[4].polarityPlus);
    EXPECT_DOUBLE_EQ(c.boards[0].lines[3].idleVolts, 60);
    ASSERT_EQ(c.plan.size(), 2u);
    EXPECT_EQ(c.plan[0].rings, 3);
    EXPECT_EQ(c.plan[0].speech, "Алло");
    EXPECT_EQ(c.plan[0].key, '9');
    EXPECT_EQ(c.plan[0].keyAt.afterSound, 2);
    EXPECT_DOUBLE_EQ(c.plan[0].hangUpAt.seconds, 45);
    EXPECT_EQ(c.fallback.behaviour, Behaviour::Busy);
}

TEST(SimConfigFile, SpeechInTheEightBitCodePageBecomesUtf8) {
    TempDir dir;
    // "Да" in Windows-1251.
    std::string file = dir.write("a.ini", "[Plan]\n100=answer say=\"\xC4\xE0\"\n");
    SimConfig c;
    std::string error;
    ASSERT_TRUE(loadConfig(file, c, error)) << error;
    EXPECT_EQ(c.plan[0].speech, "Да");
}

TEST(SimConfigFile, BadValuesAreRefusedWithTheirPlace) {
    struct Case {
        const char* text;
        const char* where;
    } cases[] = {
        {"[Simulator]\nAdcRate=251\n", "AdcRate"},
        {"[Board0]\nUnits=7,0,0\n", "Units"},
        {"[Board0]\nUnits=1,1,1,1\n", "Units"},
        {"[Board0]\nStuckUnit0=12:3\n", "StuckUnit0"},
        {"[Board0]\n[Board0.Line2]\nPolarity=up\n", "Polarity"},
        {"[Plan]\n100=ring\n", "unknown behaviour"},
        {"[Plan]\n100=answer keyat=soon\n", "keyat"},
        {"[Plan]\n1A0=busy\n", "bad number pattern"},
        {"[Plan]\n100=answer voice=--help\n", "voice"},
        {"[Board0]\nFailAt=soon\n", "FailAt"},
        {"[Board0]\nFailMode=explode\n", "FailMode"},
    };
    for (const auto& k : cases) {
        TempDir dir;
        SimConfig c;
        std::string error;
        EXPECT_FALSE(loadConfig(dir.write("x.ini", k.text), c, error)) << k.text;
        EXPECT_NE(error.find(k.where), std::string::npos) << error;
    }
    SimConfig c;
    std::string error;
    EXPECT_FALSE(loadConfig("/nonexistent/orvelsim.ini", c, error));
}

TEST(SimNumberPlan, ExactDigitsOutrankWildcardsAndOpenNumbersWaitForTheTimeout) {
    auto make = [](const char* pattern, Behaviour b) {
        Subscriber s;
        s.pattern = pattern;
        s.behaviour = b;
        return s;
    };
    Subscriber fallback = make("+", Behaviour::Unobtainable);
    NumberPlan plan({make("1XX", Behaviour::Busy), make("123", Behaviour::Answer),
                     make("8+", Behaviour::Silent)},
                    fallback);
    const Subscriber* s = nullptr;
    EXPECT_EQ(plan.match("12", false, s), NumberPlan::Match::Partial);
    EXPECT_EQ(plan.match("123", false, s), NumberPlan::Match::Complete);
    EXPECT_EQ(s->behaviour, Behaviour::Answer);
    EXPECT_EQ(plan.match("145", false, s), NumberPlan::Match::Complete);
    EXPECT_EQ(s->behaviour, Behaviour::Busy);
    EXPECT_EQ(plan.match("8123", false, s), NumberPlan::Match::Partial);
    EXPECT_EQ(plan.match("8123", true, s), NumberPlan::Match::Complete);
    EXPECT_EQ(s->behaviour, Behaviour::Silent);
    EXPECT_EQ(plan.match("55", false, s), NumberPlan::Match::Partial);
    EXPECT_EQ(plan.match("55", true, s), NumberPlan::Match::None);
    EXPECT_EQ(s->behaviour, Behaviour::Unobtainable);
    EXPECT_EQ(plan.match("1234", true, s), NumberPlan::Match::None);
}

TEST(SimModule, LoadsFromAProgramDirectoryAndStopsCleanly) {
    TempDir dir;
    dir.write("orvelsim.ini", "[Simulator]\nSpeed=2\n[Board0]\nUnits=1,0,0\n");
    void* module = dlopen(ORVELSIM_MODULE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    auto abi = reinterpret_cast<orvel_driver_abi_fn>(dlsym(module, ORVEL_DRIVER_ABI_SYMBOL));
    auto create =
        reinterpret_cast<orvel_driver_create_fn>(dlsym(module, ORVEL_DRIVER_CREATE_SYMBOL));
    ASSERT_NE(abi, nullptr);
    ASSERT_NE(create, nullptr);
    EXPECT_EQ(abi(), driver::kDriverAbiVersion);
    EXPECT_EQ(dlsym(module, "_ZN5orvel3sim9SimDriverD0Ev"), nullptr) << "only two exports";

    std::unique_ptr<driver::Driver> drv(create(dir.path.c_str()));
    ASSERT_NE(drv, nullptr);
    auto handle = drv->open("/dev/OrvelPCIDevice0");
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(drv->open("/dev/OrvelPCIDevice1"), nullptr);
    driver::RegistersInfo info;
    ASSERT_EQ(handle->ioctl(driver::IOCTL_GET_REGISTERS, nullptr, 0, &info, sizeof info), 0);
    EXPECT_EQ(info.registers->read(2) & 0xFFFu, 1u);
    // The clock runs by itself: a started card fills its input.
    driver::DeviceEvent rx, tx;
    driver::StartRecord start;
    start.receiveEvent = &rx;
    start.transmitEvent = &tx;
    ASSERT_EQ(handle->ioctl(driver::IOCTL_START, &start, sizeof start, nullptr, 0), 0);
    driver::StreamSwitchRecord answers{1, 0, 1};  // unit 0's unit frames on
    ASSERT_EQ(handle->ioctl(driver::IOCTL_STREAM_SWITCH, &answers, sizeof answers, nullptr, 0), 0);
    info.registers->write(0, (21u << 8));  // version request to unit 0
    info.registers->write(1, 0x47470018);
    ASSERT_EQ(rx.wait(10000), driver::DeviceEvent::Signalled);
    uint8_t frame[4] = {};
    EXPECT_EQ(handle->read(frame, sizeof frame), 4);
    EXPECT_EQ(frame[0] & 0x8B, 0x08) << "a unit frame of unit 0";
    EXPECT_EQ(frame[1], 0x47);
    handle.reset();
    drv.reset();
    dlclose(module);
}

TEST(SimModule, BadConfigurationRefusesAndMissingOneHasNoCards) {
    void* module = dlopen(ORVELSIM_MODULE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    auto create =
        reinterpret_cast<orvel_driver_create_fn>(dlsym(module, ORVEL_DRIVER_CREATE_SYMBOL));
    {
        TempDir dir;
        std::unique_ptr<driver::Driver> drv(create(dir.path.c_str()));
        ASSERT_NE(drv, nullptr);
        EXPECT_EQ(drv->open("/dev/OrvelPCIDevice0"), nullptr);
    }
    {
        TempDir dir;
        dir.write("orvelsim.ini", "[Board0]\nUnits=9\n");
        EXPECT_EQ(create(dir.path.c_str()), nullptr);
    }
    {
        TempDir dir;
        TempDir other;
        std::string named = other.write("elsewhere.ini", "[Board2]\nUnits=0,0,4\n");
        ::setenv(kConfigEnvVar, named.c_str(), 1);
        std::unique_ptr<driver::Driver> drv(create(dir.path.c_str()));
        ::unsetenv(kConfigEnvVar);
        ASSERT_NE(drv, nullptr);
        EXPECT_NE(drv->open("/dev/OrvelPCIDevice2"), nullptr);
    }
    dlclose(module);
}

}  // namespace
}  // namespace orvel::sim::test

namespace orvel::sim::test {
namespace {

TEST(SimSpeech, SubscribersSpeakThroughTheSynthesiserAtTelephoneLevel) {
    SpeechBank bank;
    bool synthesised = false;
    Speech s = bank.get("ru", kDefaultSpeech, &synthesised);
    EXPECT_TRUE(synthesised);
    ASSERT_NE(s, nullptr);
    EXPECT_GT(s->size(), 8000u / 2);  // at 8 kHz, between half a second
    EXPECT_LT(s->size(), 8000u * 5);  // and five
    int peak = 0;
    for (int16_t v : *s) {
        peak = std::max(peak, std::abs(static_cast<int>(v)));
    }
    EXPECT_NEAR(peak, 12000, 10);
    EXPECT_EQ(bank.get("ru", kDefaultSpeech).get(), s.get()) << "made once";
}

}  // namespace
}  // namespace orvel::sim::test

namespace orvel::sim::test {
namespace {

TEST(SimDemoConfiguration, ShippedFileDescribesTheTwoDemoBoardsAndEveryOutcome) {
    SimConfig c;
    std::string error;
    ASSERT_TRUE(loadConfig(std::string(ORVEL_DATA_DIR) + "/orvelsim.ini", c, error)) << error;
    EXPECT_EQ(c.boards[0].units[0].channels, 2);
    EXPECT_EQ(c.boards[0].units[1].channels, 0);
    EXPECT_EQ(c.boards[0].units[2].channels, 3);
    EXPECT_EQ(c.boards[1].channelCount(), 18);
    EXPECT_FALSE(c.boards[2].present);
    std::set<Behaviour> kinds;
    bool key = false, hangUpAfterMessage = false, aon = false;
    for (const auto& s : c.plan) {
        kinds.insert(s.behaviour);
        key |= s.key != 0;
        hangUpAfterMessage |= s.hangUpAt.afterSound > 0;
        aon |= s.aonRequests > 0;
    }
    for (Behaviour b : {Behaviour::Answer, Behaviour::Silent, Behaviour::NoAnswer, Behaviour::Busy,
                        Behaviour::Unobtainable, Behaviour::Drop, Behaviour::DialTone}) {
        EXPECT_EQ(kinds.count(b), 1u) << static_cast<int>(b);
    }
    EXPECT_TRUE(key && hangUpAfterMessage && aon);
    bool noDialTone = false, cut = false;
    for (int ch = 0; ch < 5; ++ch) {
        noDialTone |= !c.boards[0].lines[ch].dialTone;
        cut |= c.boards[0].lines[ch].cutAt >= 0;
    }
    EXPECT_TRUE(noDialTone && cut);
}

}  // namespace
}  // namespace orvel::sim::test
