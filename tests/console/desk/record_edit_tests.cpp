// Copying the record editor into subscribers, the editing commands on the
// list, its table and the group files, and records that are not in the table.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "data/record_edit.h"
#include "data/user_group.h"
#include "data/user_list.h"
#include "test_support.h"

namespace orvel::test {
namespace {

class RecordEditTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(list.open(dir.path(), 0));
        QDir(dir.path()).mkdir("Groups");
        groups.SetGroupDirectory(dir.path() + "/Groups");
    }
    int add(const QString& name, const QString& phone, const QString& group = {}) {
        RecordEditorValues v;
        v.name = name;
        v.number = phone;
        v.group = group;
        return applyNew(list, &groups, v);
    }
    QTemporaryDir dir;
    TUserList list;
    TUserGroup groups;
};

TEST_F(RecordEditTest, NewRecordTakesEveryFieldAndItsGroup) {
    RecordEditorValues v;
    v.name = "Петров";
    v.prefix = 3;
    v.number = "123-45";
    v.timeOn = true;
    v.timeStart = 8 * 3600;
    v.timeEnd = 17 * 3600 + 30 * 60;
    v.line = 2;
    v.comment = "дежурный";
    v.confirmMethod = 2;
    v.group = "Смена";
    const int row = applyNew(list, &groups, v);
    ASSERT_EQ(row, 0);
    const TUserListItem* it = list.Item(0);
    EXPECT_EQ(it->id, 2);
    EXPECT_EQ(it->phone.toString(), "#3123-45");
    EXPECT_EQ(it->line, 2);
    EXPECT_EQ(timeWindowText(it->time), "8:00 - 17:30");
    EXPECT_EQ(it->confirmMethod, 2);
    EXPECT_EQ(readGroupIds(dir.path() + "/Groups/Смена.lst"), QList<int>{2});

    // Under a group filter a new subscriber without a group joins the filter's.
    list.SetGroupFilter(dir.path() + "/Groups/Смена.lst");
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(add("Сидоров", "555"), 1);
    EXPECT_EQ(readGroupIds(dir.path() + "/Groups/Смена.lst"), (QList<int>{2, 3}));
    list.SetGroupFilter(dir.path() + "/Groups/Смена.lst");
    EXPECT_EQ(list.Count(), 2);
}

TEST_F(RecordEditTest, EditingSeveralKeepsOwnNamesAndUntouchedFields) {
    add("Первый", "111");
    add("Второй", "#0222");
    list.Item(0)->line = 4;
    list.Item(1)->line = 5;
    list.Item(0)->attempts = 3;
    RecordEditorValues v = valuesFromItem(*list.Item(0));
    const RecordEditBaseline base = baselineOf(v);
    v.name = "Чужое имя";
    v.number = "999";
    v.comment = "новый";
    v.commentTyped = true;
    v.confirmMethod = 1;
    ASSERT_TRUE(applyEdit(list, &groups, {0, 1}, v, base));
    EXPECT_EQ(list.Item(0)->name.toString(), "Первый");
    EXPECT_EQ(list.Item(1)->phone.toString(), "#0222");
    // The line was not touched in the editor: each keeps its own.
    EXPECT_EQ(list.Item(0)->line, 4);
    EXPECT_EQ(list.Item(1)->line, 5);
    EXPECT_EQ(list.Item(1)->comment.toString(), "новый");
    EXPECT_EQ(list.Item(1)->confirmMethod, 1);
    EXPECT_EQ(list.Item(0)->attempts, 0);

    TUserList again;
    ASSERT_TRUE(again.open(dir.path(), 0));
    ASSERT_EQ(again.Count(), 2);
    EXPECT_EQ(again.Item(0)->comment.toString(), "новый");
    EXPECT_EQ(again.Item(0)->name.toString(), "Первый");
}

TEST_F(RecordEditTest, ChangedGroupBoxMovesTheSubscriber) {
    add("Первый", "111", "Старая");
    groups.RescanGroups();
    RecordEditorValues v = valuesFromItem(*list.Item(0));
    v.group = "Новая";
    v.groupTouched = true;
    ASSERT_TRUE(applyEdit(list, &groups, {0}, v, baselineOf(v)));
    EXPECT_FALSE(QFile::exists(dir.path() + "/Groups/Старая.lst"));
    EXPECT_EQ(readGroupIds(dir.path() + "/Groups/Новая.lst"), QList<int>{2});
}

TEST_F(RecordEditTest, DeletingLeavesEveryGroupAndTheTable) {
    add("А", "1", "Г1");
    add("Б", "2", "Г1");
    add("В", "3", "Г2");
    groups.AddToGroup("Г2", 3);
    int steps = 0;
    EXPECT_EQ(deleteRows(list, &groups, {2, 0}, [&](int, int) { ++steps; }), 2);
    EXPECT_GE(steps, 2);
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Item(0)->name.toString(), "Б");
    EXPECT_EQ(readGroupIds(dir.path() + "/Groups/Г1.lst"), QList<int>{3});
    EXPECT_EQ(readGroupIds(dir.path() + "/Groups/Г2.lst"), QList<int>{3});
    TUserList again;
    ASSERT_TRUE(again.open(dir.path(), 0));
    ASSERT_EQ(again.Count(), 1);
    EXPECT_EQ(again.Item(0)->name.toString(), "Б");
}

TEST_F(RecordEditTest, RecordOutsideTheTableIsRefusedNotWrittenPastTheEnd) {
    add("А", "1");
    add("Б", "2");
    const qint64 size = QFileInfo(list.tablePath()).size();
    // Each item updates its own record, the last one included.
    list.Item(1)->comment.assign(QString("последний"));
    EXPECT_TRUE(list.UpdateItem(1));
    EXPECT_EQ(QFileInfo(list.tablePath()).size(), size);
    list.Item(0)->recordNumber = 2;
    EXPECT_FALSE(list.UpdateItem(0));
    EXPECT_EQ(list.DeleteItem(0), -1);
    list.Item(0)->recordNumber = -1;
    EXPECT_FALSE(list.UpdateItem(0));
    EXPECT_EQ(QFileInfo(list.tablePath()).size(), size);
    TUserList again;
    ASSERT_TRUE(again.open(dir.path(), 0));
    ASSERT_EQ(again.Count(), 2);
    EXPECT_EQ(again.Item(0)->name.toString(), "А");
    EXPECT_EQ(again.Item(1)->comment.toString(), "последний");
}

}  // namespace
}  // namespace orvel::test
