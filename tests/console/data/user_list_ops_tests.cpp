#include <gtest/gtest.h>
#include <QTemporaryDir>

#include "core/texts.h"
#include "data/user_list.h"
#include "data/user_list_ops.h"
#include "test_support.h"

using namespace orvel;

namespace {

class UserListOpsTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    TUserList list;
    void SetUp() override {
        resetTexts();
        ASSERT_TRUE(list.open(dir.path(), 0));
    }
    void add(const QString& name, const QString& phone, int method = 0) {
        TUserListItem it;
        it.id = list.NextId();
        it.name.assign(name);
        it.phone.assign(phone);
        it.confirmMethod = method;
        ASSERT_GT(list.AddItem(it), 0);
    }
    QStringList ids() const {
        QStringList out;
        for (int i = 0; i < list.Count(); ++i)
            out << QString::number(list.Item(i)->id);
        return out;
    }
};

TEST_F(UserListOpsTest, SearchComparesTheStartOfTheShownTextIgnoringCase) {
    add("Петров", "#2 100", 2);
    add("петрова", "200");
    add("Сидоров", "300", 1);
    EXPECT_EQ(findSubscriber(list, 0, "ПЕТРОВА"), 1);
    EXPECT_EQ(findSubscriber(list, 0, "пет"), 0);
    EXPECT_EQ(findSubscriber(list, 1, "#2"), 0);
    EXPECT_EQ(findSubscriber(list, 5, "полож"), 0);  // the method's name
    EXPECT_EQ(findSubscriber(list, 5, "dtmf"), 2);
    EXPECT_EQ(findSubscriber(list, 0, ""), 0);  // empty text finds the first
    EXPECT_EQ(findSubscriber(list, 0, "Иванов"), -1);
}

TEST_F(UserListOpsTest, DuplicatesKeepTheLastOfEachSet) {
    add("A", "1");    // id 2: duplicate of id 5
    add("A", "#21");  // id 3: marker makes it different
    add("a", "1");    // id 4: case makes it different
    add("A", "1");    // id 5: duplicate of id 6
    add("A", "1");    // id 6: stays
    EXPECT_EQ(findDuplicates(list), QList<int>({0, 3}));
    EXPECT_TRUE(existsWithNameAndPhone(list, "A", "#21", -1));
    EXPECT_FALSE(existsWithNameAndPhone(list, "A", "#21", 1));
    EXPECT_FALSE(existsWithNameAndPhone(list, "A", "21", -1));
    int calls = 0;
    EXPECT_EQ(removeDuplicates(list, [&](int, int) { ++calls; }), 2);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(ids(), QStringList({"6", "3", "4"}));
    EXPECT_TRUE(findDuplicates(list).isEmpty());
}

TEST_F(UserListOpsTest, ReplacingPrefixesRewritesTheStoredNumbers) {
    EXPECT_EQ(replaceNumberPrefix("8495123456", 2, "7"), "795123456");
    EXPECT_EQ(replaceNumberPrefix("#2495", 2, ""), "495");  // the marker counts
    EXPECT_EQ(replaceNumberPrefix(QString(30, '1'), 1, "22"), "22" + QString(28, '1'));
    add("A", "8495123456");
    add("B", "8812000000");
    replaceNumberPrefixes(list, {1}, 1, "+7");
    EXPECT_EQ(list.Item(0)->phone.toString(), "8495123456");
    EXPECT_EQ(list.Item(1)->phone.toString(), "+7812000000");
    replaceNumberPrefixes(list, {}, 0, "9");
    ASSERT_TRUE(list.open(dir.path(), 0));
    EXPECT_EQ(list.Item(0)->phone.toString(), "98495123456");
    EXPECT_EQ(list.Item(1)->phone.toString(), "9+7812000000");
}

TEST_F(UserListOpsTest, ColumnTextsAreThoseTheListShows) {
    TUserListItem it;
    it.line = 0;
    it.time = parseTimeWindow(QString("8:00 - 9:15"));
    it.extra = {"x"};
    EXPECT_EQ(columnText(it, 3), "1");
    EXPECT_EQ(columnText(it, 2), "8:00 - 9:15");
    EXPECT_EQ(columnText(it, 5), "<по умолчанию>");
    EXPECT_EQ(columnText(it, 6), "x");
    EXPECT_EQ(columnText(it, 7), "");
}

}  // namespace

// Many duplicates: the positions are the same as the definition gives them
// (every subscriber with a later one of exactly the same name and stored
// telephone), found without comparing every pair.
TEST_F(UserListOpsTest, ManyDuplicatesGiveTheSamePositionsAsTheDefinition) {
    for (int i = 0; i < 3000; ++i) {
        // Few distinct pairs, so most rows are duplicates; the marker and
        // letter case make near-misses.
        const int k = (i * 7919) % 37;
        add(k % 2 ? QString("Абонент %1").arg(k % 5) : QString("абонент %1").arg(k % 5),
            k % 3 ? QString("84951%1").arg(k % 4) : QString("#284951%1").arg(k % 4));
    }
    QList<int> expected;
    for (int i = 0; i < list.Count(); ++i) {
        for (int j = i + 1; j < list.Count(); ++j) {
            if (list.Item(i)->name == list.Item(j)->name &&
                list.Item(i)->phone == list.Item(j)->phone) {
                expected << i;
                break;
            }
        }
    }
    ASSERT_GT(expected.size(), 2900);
    EXPECT_EQ(findDuplicates(list), expected);
    EXPECT_EQ(removeDuplicates(list, {}), int(expected.size()));
    EXPECT_EQ(list.Count(), 3000 - int(expected.size()));
    EXPECT_TRUE(findDuplicates(list).isEmpty());
}
