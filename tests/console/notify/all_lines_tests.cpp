// Ten boards of eighteen lines: every line is built, set, dialled and
// logged; an older library with only the short line state array is read
// through the same layout and the lines it cannot describe are reported.

#include <gtest/gtest.h>

#include <QFile>
#include <algorithm>
#include <set>

#include "core/cp1251.h"
#include "core/settings_manager.h"
#include "diag/system_log.h"
#include "notify/library_setup.h"
#include "notify/line_state_reader.h"
#include "run_fixture.h"

namespace orvel::test {
namespace {

const std::vector<int> kTenFullBoards(10, 18);

// Stand-ins for the library's two exports.
uint32_t g_fullWords = 0;
int32_t fullReport(uint32_t* buffer, uint32_t words) {
    g_fullWords = words;
    for (uint32_t i = 0; i < words; ++i)
        buffer[i] = 1000 + i;
    return int32_t(words);
}
int32_t shortReport(uint32_t* a) {
    for (uint32_t i = 0; i < uint32_t(kShortStateWords); ++i)
        a[i] = i;
    return 0;
}

TEST(LineStateReader, FullReportFillsTheWholeBufferAndDescribesEveryLine) {
    TLineStateReader reader(&fullReport, &shortReport);
    LineStateArray a;
    EXPECT_EQ(reader.read(a), kLineStateWords);
    EXPECT_EQ(g_fullWords, uint32_t(kLineStateWords));
    EXPECT_EQ(a[lineSlot(9, 17) + 2], uint32_t(1000 + kLineStateWords - 1));
    EXPECT_TRUE(reader.coverage().full());
}

TEST(LineStateReader, WithoutTheFullReportTheShortArrayIsSpreadIntoTheSameLayout) {
    TLineStateReader reader(nullptr, &shortReport);
    LineStateArray a;
    a.fill(7);
    EXPECT_EQ(reader.read(a), 0);
    EXPECT_EQ(a[0], 0u);
    // Board 2 channel 11 is the short array's last line (index 35).
    EXPECT_EQ(a[lineSlot(2, 11)], 1u + 35);
    EXPECT_EQ(a[lineSlot(2, 11) + 1], uint32_t(kShortStateResultBase + 35));
    EXPECT_EQ(a[lineSlot(2, 11) + 2], uint32_t(kShortStateAonBase + 35));
    EXPECT_EQ(a[lineSlot(1, 0)], 1u + 12);
    // What the short array cannot describe reads 0, not what was there.
    EXPECT_EQ(a[lineSlot(0, 12)], 0u);
    EXPECT_EQ(a[lineSlot(3, 0) + 1], 0u);
    EXPECT_EQ(reader.coverage().boards, 3);
    EXPECT_EQ(reader.coverage().channels, 12);
}

TEST(AllLines, SetUpBuildsAndConfiguresALineForEveryChannel) {
    QTemporaryDir dir;
    SettingsManager settings(dir.path() + "/ORVEL.ini");
    settings.WriteIndexedSetting(SID_LINE_ENABLED, 179, 0);
    settings.WriteIndexedSetting(SID_DIAL_MODE, 150, 0);
    FakeLineLibrary lib(kTenFullBoards);
    TORVLines lines;
    const TLibrarySetup s = setUpLineLibrary(lib, dir.path(), "", settings, lines, [](int) {});
    ASSERT_TRUE(s.ready);
    EXPECT_TRUE(s.unreachable.isEmpty());
    ASSERT_EQ(lines.Count(), 180);
    EXPECT_EQ(lines.Items(179)->Board, 9);
    EXPECT_EQ(lines.Items(179)->Channel, 17);
    EXPECT_EQ(lines.Items(179)->Enabled, 0);
    EXPECT_EQ(lines.Items(178)->Enabled, 1);
    EXPECT_EQ(lines.Items(150)->DialMode, 0);

    // An older library: 36 lines, and the other 144 are named for the warning.
    FakeLineLibrary old(kTenFullBoards);
    old.shortReport = true;
    TORVLines few;
    const TLibrarySetup o = setUpLineLibrary(old, dir.path(), "", settings, few, [](int) {});
    EXPECT_EQ(few.Count(), 36);
    EXPECT_EQ(o.unreachable.size(), 144);
    EXPECT_TRUE(o.unreachable.contains("board 0 channel 12"));
    EXPECT_TRUE(o.unreachable.contains("board 9 channel 17"));
}

// The lines an older library cannot report on make one entry of the system
// log, in the program's words: the lines themselves while they fit, else
// their number.
TEST(AllLines, UnservedLinesMakeOneRussianLogEntry) {
    QTemporaryDir dir;
    SettingsManager settings(dir.path() + "/ORVEL.ini");
    const QString logPath = dir.path() + "/OrvelSys.log";
    systemLog().setPath(logPath);
    FakeLineLibrary old(kTenFullBoards);
    old.shortReport = true;
    TORVLines lines;
    setUpLineLibrary(old, dir.path(), "", settings, lines, [](int) {});
    systemLog().setPath(QString());
    QFile f(logPath);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> entries = f.readAll().split('\r');
    ASSERT_EQ(entries.size(), 2);  // one entry and what follows its CR
    const QString entry = cp1251::decode(entries[0]);
    EXPECT_TRUE(entry.contains("Линии, которые программа не обслуживает: 144"))
        << entry.toStdString();
    EXPECT_FALSE(entry.contains("board"));

    EXPECT_EQ(unservedLinesLogText({"board 0 channel 12", "board 2 channel 17"}),
              "Линии, которые программа не обслуживает: плата 1, канал 13; плата 3, канал 18");
    EXPECT_EQ(unservedLineText("board 1 channel 12"), "плата 2, канал 13");
}

class AllLinesRun : public RunFixture {
protected:
    AllLinesRun() : RunFixture(kTenFullBoards) {}
};

TEST_F(AllLinesRun, SubscriberRestrictedToLine150IsDialledOnlyThere) {
    ASSERT_EQ(lines.Count(), 180);
    // More subscribers than lines, so every line is offered to someone.
    for (int i = 0; i < 400; ++i)
        add(QString("A%1").arg(i), QString("5%1").arg(i, 5, 10, QChar('0')));
    TUserListItem& bound = add("Ограничен", "777");
    bound.line = 149;                 // shown to the operator as line 150
    lib.plan["777"] = kStatusBusy;    // busy at first: called again, still only there
    run.settings().maxAttempts = 3;
    run.settings().pauseMinutes = 0;
    lib.callMs = 10000;  // lines stay in their calls over many passes
    begin();
    passesUntilFinished();
    ASSERT_TRUE(run.finished());
    int onLine150 = 0;
    for (const auto& c : lib.calls) {
        if (c.number != "777")
            continue;
        EXPECT_EQ(c.board, 8);
        EXPECT_EQ(c.channel, 5);
        ++onLine150;
    }
    EXPECT_EQ(onLine150, 3);
    // The other lines were used too: every one of the 180 dialled someone.
    std::set<int> used;
    for (const auto& c : lib.calls)
        used.insert(c.board * 18 + c.channel);
    EXPECT_EQ(used.size(), 180u);
}

TEST_F(AllLinesRun, CallOnTheLastLineIsLoggedWithItsLineNumber) {
    for (int i = 0; i < 179; ++i)
        add(QString("A%1").arg(i), QString("6%1").arg(i, 3, 10, QChar('0')));
    add("A179", "6179").line = 179;
    lib.defaultResult = kStatusNotified;
    lib.plan["6179"] = kStatusNoAnswer;
    run.settings().maxAttempts = 1;
    begin();
    passesUntilFinished();
    ASSERT_TRUE(run.finished());
    QFile f(lineLog.currentFile());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray all = f.readAll();
    ASSERT_EQ(all.size(), 180 * kLineStateRecordSize);
    bool seen = false;
    for (qsizetype at = 0; at < all.size(); at += kLineStateRecordSize) {
        const TLineStateRecord r = TLineStateRecord::fromBytes(all.constData() + at);
        if (r.line == 179) {
            seen = true;
            EXPECT_EQ(r.state, kStatusNoAnswer);
            EXPECT_EQ(r.name, "A179");
        }
    }
    EXPECT_TRUE(seen);
}

TEST_F(AllLinesRun, EveryoneIsCalledInListOrderRoundByRound) {
    // More subscribers than lines, each busy: each round of attempts goes
    // through the list in its order, and nobody gets a second attempt while
    // someone due is still waiting for a first.
    constexpr int kPeople = 500;
    for (int i = 0; i < kPeople; ++i)
        add(QString("R%1").arg(i), QString("7%1").arg(i, 4, 10, QChar('0')));
    // The first entry is outside its time window for the first two seconds.
    users.Item(0)->time = {true, 12 * 3600 + 2, 23 * 3600};
    lib.defaultResult = kStatusBusy;
    lib.callMs = 1000;
    run.settings().maxAttempts = 2;
    run.settings().pauseMinutes = 0;
    begin();
    passesUntilFinished();
    ASSERT_TRUE(run.finished());
    ASSERT_EQ(lib.calls.size(), size_t(2 * kPeople));
    std::vector<int> order;
    for (const auto& c : lib.calls)
        order.push_back(QString::fromStdString(c.number).mid(1).toInt());
    // First round: entries 1..499 in order, and entry 0 once its window
    // opened, after the lines had been filled more than once.
    std::vector<int> round1(order.begin(), order.begin() + kPeople);
    const auto at0 = std::find(round1.begin(), round1.end(), 0);
    ASSERT_NE(at0, round1.end());
    EXPECT_GE(at0 - round1.begin(), 2 * 180);
    round1.erase(at0);
    for (int i = 0; i < kPeople - 1; ++i)
        ASSERT_EQ(round1[size_t(i)], i + 1) << "at " << i;
    // Second round: everyone once more, in list order; entry 0, still in its
    // late first call when the round began, as soon as that call ended.
    std::vector<int> round2(order.begin() + kPeople, order.end());
    const auto again0 = std::find(round2.begin(), round2.end(), 0);
    ASSERT_NE(again0, round2.end());
    EXPECT_GT(again0 - round2.begin(), 0);
    round2.erase(again0);
    for (int i = 0; i < kPeople - 1; ++i)
        ASSERT_EQ(round2[size_t(i)], i + 1) << "at " << i;
}

TEST(AllLines, SubscribersSortByTheirLineAsANumber) {
    QTemporaryDir dir;
    TUserList users;
    ASSERT_TRUE(users.open(dir.path(), 0));
    for (int line : {149, 19, -1, 179, 9}) {
        TUserListItem it;
        it.id = users.NextId();
        it.name.assign(QString("L%1").arg(line));
        it.line = line;
        users.AddItem(it);
    }
    users.SortBy(false, 4, -1);
    QStringList order;
    for (int k = 0; k < users.Count(); ++k)
        order << users.Item(k)->name.toString();
    EXPECT_EQ(order, (QStringList{"L-1", "L9", "L19", "L149", "L179"}));
}

}  // namespace
}  // namespace orvel::test
