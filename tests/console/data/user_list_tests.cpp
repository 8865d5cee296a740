#include <gtest/gtest.h>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "core/confirm_methods.h"
#include "core/cp1251.h"
#include "core/texts.h"
#include "data/collation.h"
#include "data/user_list.h"
#include "test_support.h"

using namespace orvel;

namespace {

TUserListItem subscriber(int id, const QString& name, const QString& phone) {
    TUserListItem it;
    it.id = id;
    it.name.assign(name);
    it.phone.assign(phone);
    return it;
}

QStringList names(const TUserList& l) {
    QStringList out;
    for (int i = 0; i < l.Count(); ++i)
        out << l.Item(i)->name.toString();
    return out;
}

class UserListTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    TUserList list;
    void SetUp() override { ASSERT_TRUE(list.open(dir.path(), 0)); }
    void reopen() { ASSERT_TRUE(list.open(dir.path(), 0)); }
};

TEST_F(UserListTest, NewTableIsCreatedAndIdsStartAtTwo) {
    EXPECT_EQ(QFile(dir.path() + "/Users.dbf").size(), 185);
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.NextId(), 2);
    EXPECT_EQ(list.columns().Count(), 6);
    EXPECT_EQ(list.columns().Item(0).name, "Абонент");
    EXPECT_EQ(list.columns().Item(1).length, 30);
}

TEST_F(UserListTest, ItemsRoundTripThroughTheTable) {
    TUserListItem a = subscriber(2, "Иванов", "#2 84951234567");
    a.time = parseTimeWindow(QString("9:00 - 18:30"));
    a.line = 3;
    a.comment.assign(QString("дежурный"));
    a.confirmMethod = 2;
    ASSERT_EQ(list.AddItem(a), 1);
    EXPECT_EQ(list.Item(0)->recordNumber, 0);
    reopen();
    ASSERT_EQ(list.Count(), 1);
    const TUserListItem& b = *list.Item(0);
    EXPECT_EQ(b.id, 2);
    EXPECT_EQ(b.name.toString(), "Иванов");
    EXPECT_EQ(b.phone.toString(), "#2 84951234567");
    EXPECT_TRUE(b.time.present);
    EXPECT_EQ(timeWindowText(b.time), "9:00 - 18:30");
    EXPECT_EQ(b.line, 3);
    EXPECT_EQ(b.comment.toString(), "дежурный");
    EXPECT_EQ(b.confirmMethod, 2);
    EXPECT_EQ(b.mark, 0);
    EXPECT_EQ(b.attempts, 0);
    list.table().GoTo(0);
    EXPECT_EQ(list.table().Field(4)->AsString(), "4");  // stored counted from 1
}

TEST_F(UserListTest, NextIdFollowsTheTableEvenBehindAGroupFilter) {
    for (int id : {2, 3, 9})
        list.AddItem(subscriber(id, QString("N%1").arg(id), "1"));
    EXPECT_EQ(list.NextId(), 10);
    ASSERT_TRUE(test::writeAll(dir.path() + "/g.lst", "2\r\n3\r\n"));
    list.SetGroupFilter(dir.path() + "/g.lst");
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.NextId(), 10);
    list.SetGroupFilter(QString());
    EXPECT_EQ(list.Count(), 3);
}

TEST_F(UserListTest, GroupFilterComparesIdTextsIgnoringCase) {
    TDVRTable& t = list.table();
    t.Append({"A7", "letters", "1", "", "", "", "0"}, 6);
    t.Append({"5", "five", "1", "", "", "", "0"}, 6);
    ASSERT_TRUE(test::writeAll(dir.path() + "/g.lst", "a7\n"));
    list.SetGroupFilter(dir.path() + "/g.lst");
    EXPECT_EQ(names(list), QStringList({"letters"}));
    list.SetGroupFilter(dir.path() + "/missing.lst");
    EXPECT_FALSE(list.hasGroupFilter());
    EXPECT_EQ(list.Count(), 2);
}

TEST_F(UserListTest, DeletingMovesTheLastItemIntoTheGap) {
    for (const char* n : {"A", "B", "C"})
        list.AddItem(subscriber(list.NextId(), n, "1"));
    EXPECT_EQ(list.DeleteItem(0), 2);
    EXPECT_EQ(names(list), QStringList({"C", "B"}));
    EXPECT_EQ(list.DeleteItem(5), -1);
    EXPECT_EQ(list.DeleteItem(-1), -1);
    reopen();
    EXPECT_EQ(names(list), QStringList({"B", "C"}));  // file order after reload
}

TEST_F(UserListTest, UpdateWritesEveryFieldBack) {
    list.AddItem(subscriber(2, "A", "1"));
    list.AddItem(subscriber(3, "B", "2"));
    TUserListItem* b = list.Item(1);
    b->phone.assign(QString("#0 555"));
    b->line = -1;
    b->time = {};
    ASSERT_TRUE(list.UpdateItem(1));
    reopen();
    EXPECT_EQ(list.Item(1)->phone.toString(), "#0 555");
    EXPECT_EQ(list.Item(1)->line, -1);
    EXPECT_EQ(list.Item(0)->name.toString(), "A");
}

TEST_F(UserListTest, SortingByTelephoneKeepsNamesAscendingAmongEquals) {
    list.AddItem(subscriber(2, "Дмитрий", "200"));
    list.AddItem(subscriber(3, "анна", "100"));
    list.AddItem(subscriber(4, "Борис", "200"));
    list.AddItem(subscriber(5, "вера", "200"));
    list.SortBy(false, 2, -1);
    EXPECT_EQ(names(list), QStringList({"анна", "Борис", "вера", "Дмитрий"}));
    list.SortBy(false, 2, 1);
    EXPECT_EQ(names(list), QStringList({"Борис", "вера", "Дмитрий", "анна"}));
}

TEST_F(UserListTest, SortingByNameIsCaseInsensitiveAndMarkedComeFirst) {
    for (const char* n : {"ёлкин", "Ежов", "Жуков", "adams", "Zorro", "10"}) {
        list.AddItem(subscriber(list.NextId(), n, "1"));
    }
    list.SortBy(false, 1, -1);
    EXPECT_EQ(names(list), QStringList({"10", "adams", "Zorro", "Ежов", "ёлкин", "Жуков"}));
    list.Item(5)->mark = 1;  // Жуков
    list.SortBy(true, 1, -1);
    EXPECT_EQ(names(list).first(), "Жуков");
}

TEST_F(UserListTest, SortingByTimeIsChronological) {
    TUserListItem a = subscriber(2, "late", "1");
    a.time = parseTimeWindow(QString("10:00 - 11:00"));
    TUserListItem b = subscriber(3, "early", "1");
    b.time = parseTimeWindow(QString("9:30 - 11:00"));
    TUserListItem c = subscriber(4, "none", "1");
    list.AddItem(a);
    list.AddItem(b);
    list.AddItem(c);
    list.SortBy(false, 3, -1);
    EXPECT_EQ(names(list), QStringList({"none", "early", "late"}));
    list.SortBy(false, 4, -1);  // line "-01" for every one: names ascend
    EXPECT_EQ(names(list), QStringList({"early", "late", "none"}));
}

TEST_F(UserListTest, ClearRunFieldsResetsAttemptsAndState) {
    list.AddItem(subscriber(2, "A", "1"));
    list.Item(0)->attempts = 3;
    list.Item(0)->lastState = 14;
    list.ClearRunFields();
    EXPECT_EQ(list.Item(0)->attempts, 0);
    EXPECT_EQ(list.Item(0)->lastState, 0);
    EXPECT_EQ(list.Item(1), nullptr);
    EXPECT_EQ(list.IndexOfItem(list.Item(0)), 0);
}

TEST_F(UserListTest, HeaderClaimingBillionsOfRecordsLoadsWhatTheFileHolds) {
    ASSERT_GE(list.AddItem(subscriber(2, "Первый", "100")), 0);
    ASSERT_GE(list.AddItem(subscriber(3, "Второй", "101")), 0);
    QFile f(dir.path() + "/Users.dbf");
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_EQ(f.write(QByteArray("\xF0\xFF\xFF\xFF", 4)), 4);  // record count 4,294,967,280
    f.close();
    reopen();
    EXPECT_EQ(names(list), QStringList({"Первый", "Второй"}));
}

TEST_F(UserListTest, IdsBeyondTheRangeOfIntReadAsUnreadable) {
    TDVRTable& t = list.table();
    ASSERT_GT(t.Append({"33333333333", "Длинный", "100", "", "", "", "0"}, 6), 0);
    ASSERT_GT(t.Append({"7", "Седьмой", "101", "", "", "", "0"}, 6), 0);
    reopen();
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Item(0)->id, 0);
    EXPECT_EQ(list.NextId(), 8);
}

TEST(SubscriberTexts, TimeWindows) {
    EXPECT_EQ(timeWindowText(parseTimeWindow(QString("09:05-17:00"))), "9:05 - 17:00");
    EXPECT_FALSE(parseTimeWindow(QString("")).present);
    EXPECT_FALSE(parseTimeWindow(QString("9:00")).present);
    EXPECT_FALSE(parseTimeWindow(QString("25:00 - 26:00")).present);
    EXPECT_FALSE(parseTimeWindow(QString("a - b")).present);
    EXPECT_EQ(parseTimeOfDay("23:59:59"), 86399);
    EXPECT_EQ(parseTimeOfDay("7:5"), 7 * 3600 + 5 * 60);
    EXPECT_EQ(parseTimeOfDay("7:"), -1);
}

TEST(SubscriberTexts, LinesAndTelephones) {
    EXPECT_EQ(parseLine("3"), 2);
    EXPECT_EQ(parseLine("0"), -1);
    EXPECT_EQ(parseLine("x"), -1);
    EXPECT_EQ(parseLine(""), -1);
    EXPECT_EQ(lineText(-1), "");
    EXPECT_EQ(lineText(0), "1");

    const PhoneText p = splitPhone("#24951234567");
    EXPECT_EQ(p.prefix, 2);
    EXPECT_EQ(p.number, "4951234567");
    EXPECT_EQ(joinPhone(p.prefix, p.number), "#24951234567");
    EXPECT_EQ(splitPhone("84951234567").prefix, 1);
    EXPECT_EQ(splitPhone("#0123").prefix, 0);
    EXPECT_EQ(splitPhone("#5123").prefix, 1);  // not a marker
    EXPECT_EQ(joinPhone(1, "123"), "123");
    EXPECT_TRUE(isPhoneChar('w'));
    EXPECT_FALSE(isPhoneChar('W'));
    EXPECT_FALSE(isPhoneChar('#'));
    EXPECT_EQ(acceptPhoneKey('W'), QChar('w'));
    EXPECT_EQ(acceptPhoneKey('5'), QChar('5'));
    EXPECT_FALSE(acceptPhoneKey('+').has_value());
    resetTexts();
    EXPECT_EQ(phoneCharHint(),
              "Недопустимый символ.\nСписок допустимых символов: \"0\"-\"9\", \"-\", \",\", "
              "\"w\", \"*\".");
}

}  // namespace

// The list's sort against a plain stable sort of the same keys, built the
// simplest way: column text compared in the direction asked, names ascending
// among equal texts (not for the name and time columns), present order among
// equal keys. The data are chosen to make keys share long beginnings, be
// beginnings of one another and be equal, which is where a sort on cached
// key heads can go wrong.
TEST(UserListSort, AgreesWithAPlainSortOnEveryColumnAndDirection) {
    QTemporaryDir dir;
    TUserList list;
    ASSERT_TRUE(list.open(dir.path(), 0));
    const QStringList firstNames = {"Ан",
                                    "Анна",
                                    "Анна Ивановна",
                                    "анна",
                                    "Константинопольский Александр",
                                    "Константинопольский Алексей",
                                    "Ёлкин",
                                    "Ежов",
                                    "",
                                    "Zorro",
                                    "10"};
    const QStringList phones = {
        "1", "12", "123", "#2 84951234567", "#2 8495123456", "84951234567", "", "8-495-123-45-67"};
    const QStringList comments = {"", "дежурный", "дежурный по отделу связи и оповещения",
                                  "дежурный по отделу связи и оповещения 2", "Дежурный"};
    uint32_t seed = 12345;
    auto next = [&seed](uint32_t bound) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % bound;
    };
    for (int i = 0; i < 600; ++i) {
        TUserListItem it = subscriber(i + 2, firstNames[int(next(uint32_t(firstNames.size())))],
                                      phones[int(next(uint32_t(phones.size())))]);
        it.comment.assign(comments[int(next(uint32_t(comments.size())))]);
        it.line = int(next(181)) - 1;
        it.confirmMethod = int(next(4));
        if (next(3) != 0)
            it.time = parseTimeWindow(QString("%1:%2 - 23:00").arg(next(24)).arg(next(6) * 10));
        ASSERT_EQ(list.AddItem(it), i + 1);
    }
    for (int i = 0; i < list.Count(); ++i)
        list.Item(i)->mark = uint8_t(next(2));

    auto columnText = [](const TUserListItem& it, int column) -> std::string {
        char buf[32];
        switch (column) {
            case 1:
                return std::string(it.name.view());
            case 2:
                return std::string(it.phone.view());
            case 3: {
                const int s = it.time.present ? it.time.start : 0;
                std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", s / 3600, (s / 60) % 60, s % 60);
                return buf;
            }
            case 4:
                std::snprintf(buf, sizeof buf, "%.3d", it.line);
                return buf;
            case 5:
                return std::string(it.comment.view());
            default:
                return cp1251::encode(MethodName(it.confirmMethod)).toStdString();
        }
    };
    int checked = 0;
    for (const bool withMark : {false, true}) {
        for (int column = 1; column <= 6; ++column) {
            for (const int direction : {-1, 1}) {
                std::vector<TUserListItem> expected;
                for (int i = 0; i < list.Count(); ++i)
                    expected.push_back(*list.Item(i));
                std::stable_sort(
                    expected.begin(), expected.end(),
                    [&](const TUserListItem& a, const TUserListItem& b) {
                        const std::string ka =
                            sortKey((withMark ? (a.mark ? "0" : "1") : "") + columnText(a, column));
                        const std::string kb =
                            sortKey((withMark ? (b.mark ? "0" : "1") : "") + columnText(b, column));
                        if (ka != kb)
                            return direction == 1 ? ka > kb : ka < kb;
                        if (column == 1 || column == 3)
                            return false;
                        return sortKey(a.name.view()) < sortKey(b.name.view());
                    });
                list.SortBy(withMark, column, direction);
                ASSERT_EQ(list.Count(), int(expected.size()));
                for (int i = 0; i < list.Count(); ++i) {
                    ASSERT_EQ(list.Item(i)->id, expected[size_t(i)].id)
                        << "column " << column << " direction " << direction << " mark " << withMark
                        << " row " << i;
                }
                ++checked;
            }
        }
    }
    EXPECT_EQ(checked, 24);
}
