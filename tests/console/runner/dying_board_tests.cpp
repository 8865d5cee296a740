// A board that dies in the middle of a run, on the simulated boards in real
// time: its lines read "no line", the calls that were on it are booked as
// nothing but that (not an attempt), the subscribers are called again on the
// other board, and the run ends with everyone notified. The moment of the
// failure is drawn from a seed (ORVEL_TEST_SEED, printed on failure).

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <atomic>
#include <chrono>
#include <mutex>
#include <vector>

#include "data/user_list.h"
#include "notify/demo_setup.h"
#include "notify/line_status.h"
#include "notify/notify_scheme.h"
#include "notify/orvel_line_library.h"
#include "runner/run_session.h"
#include "test_support.h"

namespace orvel::test {
namespace {

constexpr int kLinesPerBoard = 6;
constexpr int kSubscribers = 2 * kLinesPerBoard;

struct Booking {
    int board;
    int channel;
    int result;
};

uint32_t testSeed() {
    const int seed = qEnvironmentVariableIntValue("ORVEL_TEST_SEED");
    return seed > 0 ? uint32_t(seed) : 19u;
}

// Two boards of six lines; board 1 fails `failAt` seconds after the engine
// starts. Every subscriber answers and confirms with 9 after a long message,
// so that the failure finds board 1's lines in their calls.
void prepareSite(const QString& dir, double failAt, const char* mode) {
    QString error;
    ASSERT_TRUE(prepareDemoDirectory(dir, &error)) << error.toStdString();
    for (const char* name : {"orvel.fis", "report.dat"})
        ASSERT_TRUE(QFile::copy(shippedDataDir() + "/" + name, dir + "/" + name));
    ASSERT_TRUE(writeAll(dir + "/orveldrv.ini", "[Driver]\nModule=liborvelsim.so\n"));
    const QByteArray sim = QString(
                               "[Driver]\nModule=liborvelsim.so\n\n[Simulator]\nSpeed=1\n"
                               "AdcRate=100\nRecordSeconds=0\nDigitTimeout=4\n\n"
                               "[Board0]\nUnits=6,0,0\n\n"
                               "[Board1]\nUnits=6,0,0\nFailAt=%1\nFailMode=%2\n\n"
                               "[Plan]\nDefault=unobtainable\n"
                               "3XXXX=answer rings=1 say=\"Алло.\" key=9 keyat=end2\n")
                               .arg(failAt)
                               .arg(mode)
                               .toUtf8();
    ASSERT_TRUE(writeAll(dir + "/orvelsim.ini", sim));
    QFile::remove(dir + "/Users.dbf");
    TUserList users;
    ASSERT_TRUE(users.open(dir, 0));
    for (int i = 0; i < kSubscribers; ++i) {
        TUserListItem it;
        it.id = users.NextId();
        it.name.assign(QString("Абонент %1").arg(i + 1));
        it.phone.assign(QString("3%1").arg(i, 4, 10, QChar('0')));
        ASSERT_GE(users.AddItem(it), 0);
    }
    const QString message = dir + "/Messages/Wav/Длинное.wav";
    ASSERT_TRUE(writeAll(message, chimeWav(10000)));
    TNotifyScheme scheme = *TNotifyScheme::load(dir + "/NotifyScheme/Демо.sch");
    scheme.messageFile = message;
    scheme.attempts = 1;  // a call cut by the failure must not use it up
    scheme.pause = 0;
    ASSERT_TRUE(scheme.save(dir + "/NotifyScheme/Демо.sch"));
}

void runWithDyingBoard(const char* mode) {
    const uint32_t seed = testSeed();
    // Calls are dialled about 6 s after the start and last over 20 s.
    const double failAt = 13.0 + double(seed % 5);
    SCOPED_TRACE(QString("seed %1 (ORVEL_TEST_SEED), board 1 fails (%2) at %3 s")
                     .arg(seed)
                     .arg(mode)
                     .arg(failAt)
                     .toStdString());
    QTemporaryDir tmp;
    const QString dir = tmp.path() + "/site";
    prepareSite(dir, failAt, mode);
    if (::testing::Test::HasFatalFailure())
        return;

    std::mutex mutex;
    std::vector<Booking> booked;
    TSessionOptions o;
    o.programDir = dir;
    o.exeDir = dir;
    o.scheme = QStringLiteral("Демо");
    o.markAll = true;
    o.quiet = true;
    o.callBooked = [&](int board, int channel, int result) {
        std::lock_guard lock(mutex);
        booked.push_back({board, channel, result});
    };
    QString text;
    QTextStream out(&text);
    auto lib = makeOrvelLineLibrary();
    const auto start = std::chrono::steady_clock::now();
    const int rc = runSession(o, *lib, out, [&] {
        // A run that never ends is a failure, not a hang of the suite.
        return std::chrono::steady_clock::now() - start > std::chrono::minutes(4);
    });
    out.flush();
    SCOPED_TRACE(text.toStdString());

    EXPECT_EQ(rc, kExitAllNotified) << "everyone is notified on the board that lives";
    int cut = 0;
    int notified = 0;
    for (const Booking& b : booked) {
        if (b.board == 1) {
            // Nothing on the dead board may pass for a result.
            EXPECT_EQ(b.result, kStatusNoLine) << "board 1 channel " << b.channel;
            cut += b.result == kStatusNoLine;
        } else {
            EXPECT_EQ(b.result, kStatusNotified) << "board 0 channel " << b.channel;
        }
        notified += b.result == kStatusNotified;
    }
    EXPECT_GE(cut, 1) << "the failure found calls on board 1";
    EXPECT_EQ(notified, kSubscribers) << "each notified once, nobody twice";
}

TEST(DyingBoard, ACardThatStopsAnsweringLosesNoSubscriber) {
    runWithDyingBoard("silent");
}

TEST(DyingBoard, ACardThatVanishesLosesNoSubscriber) {
    runWithDyingBoard("vanish");
}

}  // namespace
}  // namespace orvel::test
