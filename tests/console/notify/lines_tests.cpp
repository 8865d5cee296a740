// Line list building, number preparation, the status table and the result
// queue.

#include <gtest/gtest.h>

#include "core/texts.h"
#include "notify/line_status.h"
#include "notify/notify_lines.h"
#include "notify/result_queue.h"
#include "notify/run_texts.h"

namespace orvel::test {
namespace {

ProgramStateRecord recordOf(std::vector<int> boards) {
    ProgramStateRecord r{};
    r[0] = uint32_t(boards.size());
    r[1] = 2;
    for (size_t b = 0; b < boards.size(); ++b)
        r[3 + 21 * b] = uint32_t(boards[b]);
    return r;
}

TEST(LineList, BuiltBoardByBoardAndOnlyAsFarAsTheLineStatesReach) {
    TORVLines lines;
    lines.Create(recordOf({4, 8}));
    ASSERT_EQ(lines.Count(), 12);
    EXPECT_EQ(lines.Items(4)->Board, 1);
    EXPECT_EQ(lines.Items(4)->Channel, 0);
    EXPECT_EQ(lines.Items(12), nullptr);
    EXPECT_EQ(lines.Items(-1), nullptr);

    // Every channel of every board, up to 18 a board.
    QStringList unreachable;
    lines.Create(recordOf({5, 18, 12, 20}), &unreachable);
    EXPECT_EQ(lines.Count(), 5 + 18 + 12 + 18);
    EXPECT_EQ(unreachable, (QStringList{"board 3 channel 18", "board 3 channel 19"}));

    // A library with only the short line state array: 3 boards of 12.
    unreachable.clear();
    lines.Create(recordOf({5, 18, 12, 3}), &unreachable, TLineStateCoverage{3, 12});
    EXPECT_EQ(lines.Count(), 5 + 12 + 12);
    EXPECT_EQ(unreachable.size(), 6 + 3);
    EXPECT_EQ(unreachable.first(), "board 1 channel 12");
}

TEST(LineList, IndexAbove255IsNeverALine) {
    ProgramStateRecord r = recordOf({});
    TORVLines lines;
    lines.Create(r);
    EXPECT_EQ(lines.Items(256), nullptr);
    // A hostile record claiming many boards is bounded.
    r[0] = 0xFFFFFFFF;
    lines.Create(r);
    EXPECT_EQ(lines.Count(), 0);
}

TEST(DialString, FilterKeepsOnlyDialableCharacters) {
    EXPECT_EQ(FilterNumber("(812) 555-12-34"), "8125551234");
    EXPECT_EQ(FilterNumber("12W34w5,#*x"), "1234w5,#*");
}

TEST(DialString, PrefixesFollowTheNumbersMarker) {
    TORVELLine l(0, 0);
    l.Prefix1 = 9;
    l.Prefix1WaitDialTone = 1;
    EXPECT_EQ(AddPrefixes("5551234", l), "9w5551234");
    l.WaitDialTone = 1;
    EXPECT_EQ(AddPrefixes("5551234", l), "w9w5551234");
    EXPECT_EQ(AddPrefixes("5", l), "w5");
    l.WaitDialTone = 0;
    EXPECT_EQ(AddPrefixes("#0123", l), "123");
    l.Prefix2 = 0;
    l.Prefix2WaitDialTone = 0;
    EXPECT_EQ(AddPrefixes("#2555", l), "0555");
    l.Prefix2 = -1;
    EXPECT_EQ(AddPrefixes("#2555", l), "555");
    EXPECT_EQ(AddPrefixes("#5123", l), "#5123");
    l.Prefix3 = 7;
    EXPECT_EQ(AddPrefixes("#3444", l), "7w444");
    EXPECT_EQ(AddPrefixes("", l), "");
}

TEST(LineStatus, TextsAndColoursByCodeAndAssignment) {
    resetTexts();
    auto free = lineStatusLook(1, true);
    ASSERT_TRUE(free);
    EXPECT_EQ(free->text, T(textFreeF));
    EXPECT_EQ(free->panel, 0xE6F6FDu);
    EXPECT_EQ(lineStatusLook(0, true)->panel, colors::kRed);
    EXPECT_EQ(lineStatusLook(0, false)->panel, colors::kGrey);
    EXPECT_EQ(lineStatusLook(15, true)->font, colors::kYellow);
    ASSERT_TRUE(lineStatusLook(18, true));  // appended: unobtainable
    EXPECT_EQ(lineStatusLook(18, true)->text, QStringLiteral("Номер не существует"));
    EXPECT_FALSE(lineStatusLook(19, true));
    TORVELLine l(0, 0);
    l.State = 14;
    EXPECT_EQ(l.StatusText(), T(textAlarmedM));
    l.State = 99;
    EXPECT_EQ(l.StatusText(), T(textAlarmedM));  // unknown code: unchanged
}

TEST(LineStatus, LookIsAppliedAgainWhenTheRowWasWrittenOver) {
    resetTexts();
    TORVELLine l(0, 0);
    l.Assigned = true;
    l.State = kStatusFree;
    EXPECT_TRUE(l.UpdateLook());
    EXPECT_FALSE(l.UpdateLook());  // the same state again: nothing new to show
    // A new run clears the row, a dropped line gets its own colours: the next
    // poll of the same state shows the state again.
    l.Row.status.clear();
    EXPECT_TRUE(l.UpdateLook());
    EXPECT_EQ(l.Row.status, T(textFreeF));
    l.Row.panel = colors::kGrey;
    l.Row.font = colors::kRed;
    EXPECT_TRUE(l.UpdateLook());
    EXPECT_EQ(l.Row.panel, 0xE6F6FDu);
    l.Row.font = colors::kRed;  // the font alone: put back, but not reported
    EXPECT_FALSE(l.UpdateLook());
    EXPECT_NE(l.Row.font, colors::kRed);
    l.Assigned = false;
    l.State = 0;
    EXPECT_TRUE(l.UpdateLook());
    EXPECT_EQ(l.Row.panel, colors::kGrey);
}

TEST(ResultQueue, WholeRecordsOnlyAndDropsWhatDoesNotFit) {
    TResultQueue q;
    for (int i = 0; i < 1000; ++i)
        ASSERT_TRUE(q.push({uint32_t(i % 3), uint32_t(i), 14}));
    EXPECT_FALSE(q.push({9, 9, 9}));
    EXPECT_EQ(q.dropped(), 1);
    auto first = q.pop();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->channel, 0u);
    // Wrapping around the ring keeps records whole.
    EXPECT_TRUE(q.push({7, 8, 9}));
    for (int i = 1; i < 1000; ++i)
        ASSERT_EQ(q.pop()->channel, uint32_t(i));
    auto last = q.pop();
    ASSERT_TRUE(last);
    EXPECT_EQ(last->board, 7u);
    EXPECT_EQ(last->result, 9u);
    EXPECT_FALSE(q.pop());

    TResultQueue::install(&q);
    TResultQueue::callback(1, 2, 3);
    TResultQueue::install(nullptr);
    TResultQueue::callback(4, 5, 6);
    EXPECT_EQ(q.size(), 1);
}

TEST(RunTexts, SummaryAndTimeLines) {
    resetTexts();
    EXPECT_EQ(summaryText({10, 3, 2}),
              " Абонентов для оповещения - 10   Оповещено - 3   Осталось оповестить - 5   Не "
              "оповещено - 2");
    const QDateTime start(QDate(2026, 12, 8), QTime(10, 0));
    const QDateTime now(QDate(2026, 12, 8), QTime(10, 25, 30));
    EXPECT_EQ(timeText(now, start, std::nullopt), "Время:   Текущее - 10:25");
    EXPECT_EQ(timeText(now, start, start.addSecs(3600)),
              "Время:   Текущее - 10:25   Прошло - 00:25   Осталось - 00:35   Предел - 11:00");
}

}  // namespace
}  // namespace orvel::test
