#include <gtest/gtest.h>
#include <QFile>
#include <QTemporaryDir>

#include "data/structure_rebuild.h"
#include "data/user_list.h"
#include "test_support.h"

using namespace orvel;

namespace {

class RebuildTest : public ::testing::TestWithParam<int> {
protected:
    QTemporaryDir dir;
    TUserList list;
    QString tablePath() const { return dir.path() + "/Users.dbf"; }
    QString tmpPath() const { return dir.path() + "/_Tmp.dbf"; }

    void SetUp() override {
        ASSERT_TRUE(list.open(dir.path(), GetParam()));
        for (int i = 0; i < 5; ++i) {
            TUserListItem it;
            it.id = list.NextId();
            it.name.assign(QString("Абонент %1").arg(i));
            it.phone.assign(QString("49500%1").arg(i));
            it.comment.assign(QString("c%1").arg(i));
            ASSERT_GT(list.AddItem(it), 0);
        }
        list.DeleteItem(1);  // "Абонент 1" is deleted in the file
    }

    TColumnList withExtraColumn(int length) {
        TColumnList c = list.columns();
        c.Add({"Отдел", length, 0});
        return c;
    }
};

TEST_P(RebuildTest, KeepsIdsOrderAndTextsAndDropsDeletedRecords) {
    ASSERT_EQ(rebuildStructure(list, withExtraColumn(20)), RebuildResult::Done);
    EXPECT_FALSE(QFile::exists(tmpPath()));
    EXPECT_EQ(QFile(tablePath()).size(), 16 + 8 * 24 + 1 + 4 * (158 + 20));
    EXPECT_EQ(list.table().FieldCount(), 8);
    EXPECT_EQ(list.table().Field(7)->trimmedName(), "ADT_FLD6");
    EXPECT_EQ(list.table().DeletedCount(), 0u);
    ASSERT_EQ(list.Count(), 4);
    const int ids[] = {2, 4, 5, 6};
    for (int i = 0; i < 4; ++i) {
        const TUserListItem* it = list.Item(i);
        EXPECT_EQ(it->id, ids[i]);
        EXPECT_EQ(it->name.toString(), QString("Абонент %1").arg(ids[i] - 2));
        EXPECT_EQ(it->comment.toString(), QString("c%1").arg(ids[i] - 2));
        EXPECT_EQ(it->recordNumber, i);  // record numbers changed
        ASSERT_EQ(it->extra.size(), 1);
        EXPECT_EQ(it->extra[0], "");
    }
    EXPECT_EQ(list.columns().Item(6).name, "Отдел");
    EXPECT_EQ(list.columns().Item(6).sourceField, 7);
}

TEST_P(RebuildTest, MovedAndRemovedColumnsFollowTheirSource) {
    ASSERT_EQ(rebuildStructure(list, withExtraColumn(12)), RebuildResult::Done);
    list.Item(0)->extra = {"бухгалтерия"};
    ASSERT_TRUE(list.UpdateItem(0));
    // A second extra column before the first: the old one moves to position 7.
    TColumnList c = list.columns();
    c.Replace(6, {"Этаж", 4, 0});
    c.Add({"Отдел", 12, 7});
    ASSERT_EQ(rebuildStructure(list, c), RebuildResult::Done);
    EXPECT_EQ(list.Item(0)->extra, QStringList({"", "бухгалтерия"}));
    // Dropping both leaves the standard table of 158-byte records.
    TColumnList standard = list.columns();
    standard.Delete(7);
    standard.Delete(6);
    ASSERT_EQ(rebuildStructure(list, standard), RebuildResult::Done);
    EXPECT_EQ(QFile(tablePath()).size(), 185 + 4 * 158);
    EXPECT_EQ(list.Item(3)->name.toString(), "Абонент 4");
}

TEST_P(RebuildTest, FailureWhileCopyingLeavesTheOldTableIntact) {
    const QByteArray before = test::readAll(tablePath());
    RebuildFaults faults;
    faults.failAfterRecords = 2;
    EXPECT_EQ(rebuildStructure(list, withExtraColumn(20), faults), RebuildResult::CopyFailed);
    EXPECT_EQ(test::readAll(tablePath()), before);
    EXPECT_FALSE(QFile::exists(tmpPath()));
    EXPECT_EQ(list.columns().Count(), 6);
    // The list and its table still work.
    ASSERT_EQ(list.Count(), 4);
    TUserListItem it;
    it.id = list.NextId();
    it.name.assign(QString("new"));
    EXPECT_EQ(list.AddItem(it), 5);
    ASSERT_TRUE(list.open(dir.path(), GetParam()));
    EXPECT_EQ(list.Count(), 5);
}

TEST_P(RebuildTest, FailureToReplaceKeepsTheOldTableAndTheCopy) {
    const QByteArray before = test::readAll(tablePath());
    RebuildFaults faults;
    faults.failReplace = true;
    EXPECT_EQ(rebuildStructure(list, withExtraColumn(20), faults), RebuildResult::ReplaceFailed);
    EXPECT_EQ(test::readAll(tablePath()), before);
    EXPECT_TRUE(QFile::exists(tmpPath()));
    EXPECT_EQ(list.Count(), 4);
    EXPECT_EQ(list.table().FieldCount(), 7);
}

INSTANTIATE_TEST_SUITE_P(PlainAndScrambled, RebuildTest, ::testing::Values(0, 1));

}  // namespace
