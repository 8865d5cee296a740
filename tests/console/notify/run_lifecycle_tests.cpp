// Bringing the library up, starting a run, its thread and stopping it.

#include <QFile>
#include <chrono>

#include "core/settings_manager.h"
#include "core/texts.h"
#include "notify/library_setup.h"
#include "run_fixture.h"

namespace orvel::test {
namespace {

TEST(LibrarySetup, StuckInInitialisationWaitsTwentyOneTimesThenSaysSo) {
    resetTexts();
    FakeLineLibrary lib({2});
    lib.programState = 1;
    SettingsManager settings(QStringLiteral("/nonexistent/x.ini"));
    TORVLines lines;
    int waited = 0;
    const TLibrarySetup s = setUpLineLibrary(lib, "/tmp", "/tmp/OrvelDll.log", settings, lines,
                                             [&](int ms) { waited += ms; });
    EXPECT_EQ(waited, 10500);
    EXPECT_FALSE(s.ready);
    ASSERT_EQ(s.errors.size(), 1);
    EXPECT_TRUE(s.errors[0].startsWith(T(textDeviceInInitialization)));
}

TEST(LibrarySetup, NoBoardGivesTheInitialisationErrorAndNoLines) {
    FakeLineLibrary lib({});
    lib.programState = 6;
    SettingsManager settings(QStringLiteral("/nonexistent/x.ini"));
    TORVLines lines;
    const TLibrarySetup s = setUpLineLibrary(lib, "/tmp", "", settings, lines, [](int) {});
    EXPECT_EQ(lines.Count(), 0);
    ASSERT_EQ(s.errors.size(), 1);
    EXPECT_TRUE(s.errors[0].startsWith(T(textInitializationError) + "! \n"));
}

class RunLifecycle : public RunFixture {
protected:
    void writeConfirm() {
        QFile f(dir.path() + "/CONFIRM.DAT");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("x");
    }
    void waitEnded() {
        for (int i = 0; i < 5000 && observer.ended == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
};

TEST_F(RunLifecycle, StartFailsWithoutTheConfirmationPrompt) {
    add("A", "100");
    const TStartOutcome o = run.StartRun();
    EXPECT_EQ(o.error, StartError::ConfirmMissing);
    EXPECT_TRUE(o.message.startsWith("\"CONFIRM.DAT\"  - "));
    EXPECT_FALSE(run.running());
}

TEST_F(RunLifecycle, StartFailsWhenTheLibraryDoesNotStart) {
    writeConfirm();
    add("A", "100");
    lib.startResult = 0;
    lib.soundResult = -1;
    EXPECT_EQ(run.StartRun().error, StartError::MessageLoad);
    lib.soundResult = 0;
    lib.startResult = -1;
    EXPECT_EQ(run.StartRun().error, StartError::StartDll);
}

TEST_F(RunLifecycle, WholeRunOnItsThreadEndsAndReportsOnce) {
    writeConfirm();
    add("A", "100");
    add("B", "200");
    lib.plan["100"] = 14;
    run.settings().maxAttempts = 2;
    ASSERT_EQ(run.StartRun().error, StartError::None);
    EXPECT_NE(lib.callback, nullptr);
    waitEnded();
    EXPECT_EQ(observer.ended, 1);
    EXPECT_FALSE(run.running());
    run.StopRun();
    EXPECT_EQ(lib.callback, nullptr);
    EXPECT_EQ(lib.stops, 1);
    run.StopRun();  // harmless
    EXPECT_EQ(lib.stops, 1);
    EXPECT_EQ(users.Item(0)->lastState, 14);
    EXPECT_EQ(users.Item(1)->attempts, 2);
}

TEST_F(RunLifecycle, StopEndsLongWaitsAtOnce) {
    // A real clock and a long pause before every dial: the stop must still
    // join the thread at once.
    TSystemClock realClock;
    TNotifyRun slow(lib, lines, users, realClock, nullptr);
    slow.settings().programDir = dir.path();
    slow.settings().attemptPauseMs = 600000;
    writeConfirm();
    add("A", "100");
    ASSERT_EQ(slow.StartRun().error, StartError::None);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto t0 = std::chrono::steady_clock::now();
    slow.StopRun();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));
    EXPECT_FALSE(slow.running());
    EXPECT_TRUE(lib.calls.empty());
    EXPECT_EQ(users.Item(0)->attempts, 0);
}

}  // namespace
}  // namespace orvel::test
