// Group files: membership, refused names and the directory watcher.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include "data/user_group.h"
#include "data/user_list.h"
#include "test_support.h"

namespace orvel::test {
namespace {

class GroupTest : public ::testing::Test {
protected:
    void SetUp() override { groups.SetGroupDirectory(dir.path() + "/"); }
    QTemporaryDir dir;
    TUserGroup groups;
};

TEST_F(GroupTest, MembershipAddsRemovesAndDeletesTheEmptiedFile) {
    EXPECT_TRUE(groups.AddToGroup("Смена.txt", 5));
    EXPECT_TRUE(groups.AddToGroup("Смена", 7));
    EXPECT_EQ(readAll(dir.path() + "/Смена.lst"), QByteArray("5\r\n7\r\n"));
    EXPECT_TRUE(groups.AddToGroup("Вторая", 7));
    groups.RescanGroups();
    EXPECT_EQ(groups.groups(), (QStringList{"", "Вторая", "Смена"}));
    EXPECT_EQ(groups.FindGroupOf(7), "Вторая");
    groups.RemoveFromGroup("Вторая", 7);
    EXPECT_FALSE(QFile::exists(dir.path() + "/Вторая.lst"));
    groups.RemoveFromAllGroups(5);
    EXPECT_EQ(readGroupIds(dir.path() + "/Смена.lst"), QList<int>{7});
    groups.RemoveFromGroup("Missing", 7);
}

TEST_F(GroupTest, EmptyNamesAndPathSeparatorsAreRefused) {
    EXPECT_FALSE(groups.AddToGroup("", 1));
    EXPECT_FALSE(groups.AddToGroup("../evil", 1));
    EXPECT_FALSE(groups.AddToGroup("a\\b", 1));
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty());
}

TEST_F(GroupTest, SaveAndLoadMarkTheUnionOfMembers) {
    TUserList list;
    ASSERT_TRUE(list.open(dir.path(), 0));
    for (int i = 0; i < 4; ++i) {
        TUserListItem it;
        it.id = list.NextId();
        it.name.assign(QString("N%1").arg(i));
        list.AddItem(it);
    }
    list.Item(0)->mark = 1;
    list.Item(1)->mark = 1;
    ASSERT_TRUE(groups.SaveGroup("one", list));
    const QByteArray one = readAll(dir.path() + "/one.lst");
    EXPECT_EQ(one, QByteArray::number(list.Item(0)->id) + "\r\n" +
                       QByteArray::number(list.Item(1)->id) + "\r\n");
    ASSERT_TRUE(
        writeAll(dir.path() + "/two.lst", QByteArray::number(list.Item(3)->id) + "\r\njunk\r\n"));
    list.Item(2)->mark = 1;
    const QStringList refused = groups.LoadGroups({"one", "two", "x/y"}, list);
    EXPECT_EQ(refused, QStringList{"x/y"});
    EXPECT_EQ(list.Item(0)->mark, 1);
    EXPECT_EQ(list.Item(2)->mark, 0);
    EXPECT_EQ(list.Item(3)->mark, 1);
    // Byte-exact round trip of a group file.
    ASSERT_TRUE(writeGroupIds(dir.path() + "/copy.lst", readGroupIds(dir.path() + "/one.lst")));
    EXPECT_EQ(readAll(dir.path() + "/copy.lst"), one);
}

TEST(GroupWatcher, SeesFilesMadeByOthers) {
    static int argc = 1;
    static char name[] = "t";
    static char* argv[] = {name};
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);
    QTemporaryDir dir;
    TUserGroup groups;
    groups.SetGroupDirectory(dir.path());
    int changes = 0;
    groups.onChange = [&] { ++changes; };
    ASSERT_TRUE(writeAll(dir.path() + "/outside.lst", "1\r\n"));
    QElapsedTimer t;
    t.start();
    while (!groups.groups().contains("outside") && t.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_TRUE(groups.groups().contains("outside"));
    EXPECT_GE(changes, 1);
}

}  // namespace
}  // namespace orvel::test
