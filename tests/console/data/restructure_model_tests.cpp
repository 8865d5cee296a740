#include <gtest/gtest.h>
#include <QTemporaryDir>
#include <deque>

#include "core/settings_manager.h"
#include "core/texts.h"
#include "data/restructure_model.h"
#include "data/user_list.h"
#include "test_support.h"

using namespace orvel;

namespace {

class Answer : public IMessageDialog {
public:
    explicit Answer(int a) : answer(a) {}
    int answer;
    int asked = 0;
    int show(const QString&, const QString&, uint16_t, uint8_t) override {
        ++asked;
        return answer;
    }
};

class RestructureModelTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    SettingsManager settings{dir.path() + "/ORVEL.ini"};
    TUserList list{&settings};
    void SetUp() override {
        resetTexts();
        ASSERT_TRUE(list.open(dir.path(), 0));
        TUserListItem it;
        it.id = 2;
        it.name.assign(QString("A"));
        list.AddItem(it);
    }
};

TEST_F(RestructureModelTest, StandardRowsAreFixedAndAdditionalOnesFollowTheRules) {
    TRestructureModel m(list.columns());
    ASSERT_EQ(m.rowCount(), 6);
    EXPECT_EQ(m.row(0).source, 1);
    EXPECT_FALSE(m.canEdit(5));
    m.setCaption(0, "x");
    EXPECT_EQ(m.row(0).caption, "Абонент");
    ASSERT_TRUE(m.addRow());
    ASSERT_TRUE(m.addRow());
    EXPECT_EQ(m.row(6).caption, "Поле 7");
    EXPECT_EQ(m.row(6).length, 10);
    EXPECT_EQ(m.row(6).source, 0);
    EXPECT_FALSE(m.canMoveUp(6));  // row 7 stays below the standard rows
    EXPECT_TRUE(m.canMoveUp(7));
    EXPECT_TRUE(m.canMoveDown(6));
    EXPECT_FALSE(m.canMoveDown(7));
    m.setCaption(7, "");
    EXPECT_EQ(m.row(7).caption, "Поле 8");
    m.setCaption(7, QString(30, 'c'));
    EXPECT_EQ(m.row(7).caption.size(), 20);
    m.setLength(7, "");
    EXPECT_EQ(m.row(7).length, 10);
    m.setLength(7, "999");
    EXPECT_EQ(m.row(7).length, 254);
    m.setLength(7, "1");
    EXPECT_EQ(m.row(7).length, 4);
    m.moveUp(7);
    EXPECT_EQ(m.row(6).length, 4);
    m.removeRows({0, 6, 6});
    EXPECT_EQ(m.rowCount(), 7);
    for (int i = 0; i < 20; ++i)
        m.addRow();
    EXPECT_EQ(m.rowCount(), 16);
    EXPECT_FALSE(m.addRow());
    EXPECT_EQ(TRestructureModel::tooManyFieldsText(),
              "Поле не может быть добавлено!\nМаксимальное количество полей -16");
}

TEST_F(RestructureModelTest, RenamingAloneNeverRebuilds) {
    const QByteArray before = test::readAll(dir.path() + "/Users.dbf");
    TRestructureModel m(list.columns());
    m.addRow();
    TRestructureModel renameOnly(list.columns());
    Answer yes(mb::kResultYes);
    EXPECT_EQ(applyRestructure(renameOnly, list, settings, yes), RestructureOutcome::Renamed);
    EXPECT_EQ(yes.asked, 0);
    EXPECT_EQ(test::readAll(dir.path() + "/Users.dbf"), before);
    EXPECT_EQ(settings.ReadIndexedSetting(SID_FIELDS_NAMES, 0, "").toString(), "Абонент");
}

TEST_F(RestructureModelTest, ChangedStructureAsksAndLogsBeforeRebuilding) {
    TRestructureModel m(list.columns());
    m.addRow();
    m.setCaption(6, "Отдел");
    Answer no(mb::kResultNo);
    EXPECT_EQ(applyRestructure(m, list, settings, no), RestructureOutcome::Declined);
    EXPECT_EQ(list.table().FieldCount(), 7);
    QStringList log;
    RestructureHooks hooks;
    hooks.writeLog = [&](const QString& t, int level) {
        log << QString("%1 %2").arg(level).arg(t);
    };
    Answer yes(mb::kResultYes);
    EXPECT_EQ(applyRestructure(m, list, settings, yes, hooks), RestructureOutcome::Rebuilt);
    EXPECT_EQ(log, QStringList({"2 Изменение структуры базы"}));
    EXPECT_EQ(list.table().FieldCount(), 8);
    EXPECT_EQ(list.Item(0)->name.toString(), "A");
    EXPECT_EQ(settings.ReadIndexedSetting(SID_FIELDS_NAMES, 6, "").toString(), "Отдел");
}

}  // namespace
