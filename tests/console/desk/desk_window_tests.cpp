// The operator's desk as an operator uses it: adding and editing
// subscribers, deleting, searching, replacing numbers, removing duplicates,
// sorting, column widths, row colours and the operator's rights.

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QSpinBox>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeEdit>
#include <QToolButton>

#include "core/texts.h"
#include "data/user_group.h"
#include "data/user_list_ops.h"
#include "diag/system_log.h"
#include "test_support.h"
#include "ui/find_user.h"
#include "ui/info_windows.h"
#include "ui/list_columns.h"
#include "ui/main_window.h"
#include "ui/numbers_change.h"
#include "ui/program_context.h"
#include "ui/record_panel.h"
#include "ui/ui_test_support.h"
#include "ui/user_list_model.h"

using namespace orvel;
using orvel::test::app;

namespace {

class DeskTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    ProgramContext ctx;
    TUserGroup groups;
    void SetUp() override {
        app();
        resetTexts();
        qputenv("ORVEL_DIALOG_ANSWER", "6");
        ctx.executableDir = dir.path();
        ctx.dirs = loadProgramDirs(dir.path(), ctx.names, dir.path() + "/registry.ini");
        ctx.dirs.program = dir.path();
        ctx.settings.setPath(ctx.dirs.settingsFile);
        systemLog().setPath(dir.path() + "/OrvelSys.log");
        QDir(dir.path()).mkdir("Groups");
        groups.SetGroupDirectory(dir.path() + "/Groups");
    }
    void TearDown() override {
        qunsetenv("ORVEL_DIALOG_ANSWER");
        systemLog().setPath(QString());
    }
    void addSubscriber(TForm1& w, const QString& name, const QString& phone) {
        w.newRecord();
        w.recordPanel()->nameEdit()->setText(name);
        w.recordPanel()->phoneEdit()->setText(phone);
        ASSERT_TRUE(w.applyEdit()) << name.toStdString();
    }
    QStringList names() const {
        QStringList n;
        for (int i = 0; i < ctx.users.Count(); ++i)
            n << ctx.users.Item(i)->name.toString();
        return n;
    }
    void select(TForm1& w, const QList<int>& rows) {
        w.list()->clearSelection();
        for (int r : rows) {
            w.list()->selectionModel()->select(
                w.list()->model()->index(r, 0),
                QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }
};

TEST_F(DeskTest, NewSubscriberWithPrefixTimeLineAndMethodIsStoredInTheTable) {
    {
        TForm1 w(ctx);
        w.setGroups(&groups);
        w.setLineCount(4);
        w.show();
        TfrRecordInterface* r = w.recordPanel();
        EXPECT_FALSE(w.button("btnApply")->isEnabled());
        w.newRecord();
        ASSERT_EQ(r->mode(), TfrRecordInterface::kEditOne);
        EXPECT_FALSE(w.list()->isEnabled());  // the list waits for the edit
        EXPECT_FALSE(w.button("StartButton")->isEnabled());
        r->nameEdit()->setText("Иванов Иван");
        EXPECT_FALSE(w.button("btnApply")->isEnabled());  // no telephone yet
        QTest::keyClicks(r->phoneEdit(), "8-W1x2,3");
        EXPECT_EQ(r->phoneEdit()->text(), "8-w12,3");
        // "#2" from the prefix button's pop-up.
        r->prefixButton()->menu()->actions().at(2)->trigger();
        EXPECT_EQ(r->prefixButton()->text(), "#2");
        r->timeCheck()->setChecked(true);
        r->timeFrom()->setTime(QTime(9, 15));
        r->timeTo()->setTime(QTime(18, 0));
        ASSERT_EQ(r->lineBox()->count(), 5);
        r->lineBox()->setCurrentIndex(3);
        r->confirmBox()->setCurrentIndex(0);  // DTMF
        r->commentEdit()->setText("склад");
        emit r->commentEdit()->textEdited("склад");
        EXPECT_TRUE(w.button("btnApply")->isEnabled());
        w.button("btnApply")->click();
        EXPECT_EQ(r->mode(), TfrRecordInterface::kViewing);
        EXPECT_EQ(ctx.users.Count(), 1);
        EXPECT_EQ(w.allCountText(), "Всего записей - 1");
        EXPECT_EQ(w.selectedCountText(), "Выбрано записей - 1");
        w.close();
    }
    TUserList again;
    ASSERT_TRUE(again.open(dir.path(), 0));
    ASSERT_EQ(again.Count(), 1);
    const TUserListItem* it = again.Item(0);
    EXPECT_EQ(it->name.toString(), "Иванов Иван");
    EXPECT_EQ(it->phone.toString(), "#28-w12,3");
    EXPECT_EQ(timeWindowText(it->time), "9:15 - 18:00");
    EXPECT_EQ(it->line, 2);
    EXPECT_EQ(it->confirmMethod, 1);
    EXPECT_EQ(it->comment.toString(), "склад");
}

TEST_F(DeskTest, PhoneFieldRefusesOtherKeysAndPastingWithAHint) {
    TForm1 w(ctx);
    w.show();
    w.newRecord();
    TfrRecordInterface* r = w.recordPanel();
    QTest::keyClicks(r->phoneEdit(), "12");
    EXPECT_TRUE(r->phoneHint()->isHidden());
    QTest::keyClick(r->phoneEdit(), Qt::Key_Q, Qt::NoModifier);
    EXPECT_FALSE(r->phoneHint()->isHidden());
    EXPECT_TRUE(r->phoneHint()->text().startsWith("Недопустимый символ.\nСписок допустимых"));
    QTest::keyClick(r->phoneEdit(), Qt::Key_V, Qt::ControlModifier);
    QTest::keyClicks(r->phoneEdit(), "*");
    EXPECT_TRUE(r->phoneHint()->isHidden());
    EXPECT_EQ(r->phoneEdit()->text(), "12*");
}

TEST_F(DeskTest, DuplicateNameAndNumberIsRefusedAndTheEditStaysOpen) {
    TForm1 w(ctx);
    w.show();
    addSubscriber(w, "Петров", "100");
    w.duplicateRecord();
    testing::internal::CaptureStderr();
    EXPECT_FALSE(w.applyEdit());
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("Абонент с таким именем и номером телефона уже существует!"),
              std::string::npos);
    EXPECT_EQ(w.recordPanel()->mode(), TfrRecordInterface::kEditOne);
    w.recordPanel()->phoneEdit()->setText("101");
    EXPECT_TRUE(w.applyEdit());
    EXPECT_EQ(ctx.users.Count(), 2);
    EXPECT_EQ(ctx.users.Item(1)->id, 3);

    // Answering No to "Внести изменения?" acts as "Отменить".
    qputenv("ORVEL_DIALOG_ANSWER", "7");
    w.newRecord();
    w.recordPanel()->nameEdit()->setText("Новый");
    w.recordPanel()->phoneEdit()->setText("5");
    EXPECT_FALSE(w.applyEdit());
    EXPECT_EQ(w.recordPanel()->mode(), TfrRecordInterface::kViewing);
    EXPECT_EQ(ctx.users.Count(), 2);
}

TEST_F(DeskTest, EditingSeveralRowsKeepsTheirNamesAndTelephones) {
    TForm1 w(ctx);
    w.setGroups(&groups);
    w.show();
    addSubscriber(w, "Первый", "1");
    addSubscriber(w, "Второй", "2");
    addSubscriber(w, "Третий", "3");
    select(w, {0, 2});
    testing::internal::CaptureStderr();
    w.changeRecord();
    testing::internal::GetCapturedStderr();
    TfrRecordInterface* r = w.recordPanel();
    ASSERT_EQ(r->mode(), TfrRecordInterface::kEditSeveral);
    EXPECT_FALSE(r->nameEdit()->isEnabled());
    r->commentEdit()->setText("смена");
    emit r->commentEdit()->textEdited("смена");
    r->groupBox()->setEditText("Дежурные");
    emit r->groupBox()->lineEdit()->textEdited("Дежурные");
    ASSERT_TRUE(w.applyEdit());
    EXPECT_EQ(names(), (QStringList{"Первый", "Второй", "Третий"}));
    EXPECT_EQ(ctx.users.Item(0)->phone.toString(), "1");
    EXPECT_EQ(ctx.users.Item(2)->phone.toString(), "3");
    EXPECT_EQ(ctx.users.Item(0)->comment.toString(), "смена");
    EXPECT_EQ(ctx.users.Item(2)->comment.toString(), "смена");
    EXPECT_EQ(ctx.users.Item(1)->comment.toString(), "");
    EXPECT_EQ(readGroupIds(dir.path() + "/Groups/Дежурные.lst"), (QList<int>{2, 4}));

    // No selection: a warning and no edit.
    w.list()->clearSelection();
    testing::internal::CaptureStderr();
    w.changeRecord();
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Не выбран ни один абонент!"),
              std::string::npos);
    EXPECT_EQ(r->mode(), TfrRecordInterface::kViewing);
}

TEST_F(DeskTest, DeletingAsksChecksTheRightAndCleansGroupFiles) {
    TForm1 w(ctx);
    w.setGroups(&groups);
    w.show();
    addSubscriber(w, "А", "1");
    addSubscriber(w, "Б", "2");
    addSubscriber(w, "В", "3");
    groups.AddToGroup("Г", 3);
    groups.AddToGroup("Г", 4);
    select(w, {0, 1});
    qputenv("ORVEL_DIALOG_ANSWER", "7");
    testing::internal::CaptureStderr();
    w.deleteRecords();
    EXPECT_NE(testing::internal::GetCapturedStderr().find(
                  "Удалить?: Вы действительно хотите удалить выделенных абонентов?"),
              std::string::npos);
    EXPECT_EQ(ctx.users.Count(), 3);
    qputenv("ORVEL_DIALOG_ANSWER", "6");
    ctx.rights.set("оператор", kAllRightsBits & ~uint16_t(OperatorRight::ChangeBase));
    select(w, {0, 1});
    testing::internal::CaptureStderr();
    w.deleteRecords();
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Удалить?"), std::string::npos);
    EXPECT_EQ(ctx.users.Count(), 3);  // asked, then stopped without a word
    ctx.rights.grantAll();
    select(w, {0, 1});
    testing::internal::CaptureStderr();
    w.action("actDeleteRecord")->trigger();
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(names(), QStringList{"В"});
    EXPECT_EQ(readGroupIds(dir.path() + "/Groups/Г.lst"), QList<int>{4});
    EXPECT_EQ(w.selectedCountText(), "Выбрано записей - 0");
    EXPECT_EQ(w.allCountText(), "Всего записей - 1");
}

TEST_F(DeskTest, SearchSelectsAndScrollsToTheFirstMatch) {
    TForm1 w(ctx);
    w.show();
    for (int i = 0; i < 200; ++i) {
        TUserListItem it;
        it.id = i + 2;
        it.name.assign(QString("Абонент %1").arg(i, 3, 10, QChar('0')));
        it.phone.assign(QString::number(1000 + i));
        ctx.users.AddItem(it);
    }
    w.refreshList();
    TFindUser* find = w.findWindow();
    find->show();
    find->columnBox()->setCurrentIndex(1);  // telephone
    find->textEdit()->setText("1150");
    find->tick();  // the text is still changing
    EXPECT_TRUE(w.selectedRows().isEmpty());
    find->tick();
    EXPECT_EQ(w.selectedRows(), QList<int>{150});
    EXPECT_EQ(w.list()->currentIndex().row(), 150);
    const QRect shown = w.list()->visualRect(w.list()->model()->index(150, 0));
    EXPECT_TRUE(w.list()->viewport()->rect().intersects(shown));
    // Case is ignored; the first match in list order wins.
    find->columnBox()->setCurrentIndex(0);
    find->textEdit()->setText("абонент 01");
    find->tick();
    find->tick();
    EXPECT_EQ(w.selectedRows(), QList<int>{10});
    find->close();
}

TEST_F(DeskTest, NumberReplacementOverAllAndOverTheSelected) {
    TForm1 w(ctx);
    w.show();
    addSubscriber(w, "А", "8123");
    addSubscriber(w, "Б", "8456");
    addSubscriber(w, "В", "8789");
    TNumbersChange all(ctx.users, &w);
    all.selectedRows = [&] { return w.selectedRows(); };
    all.digits()->setValue(1);
    all.replacement()->setText("7");
    testing::internal::CaptureStderr();
    EXPECT_TRUE(all.apply());
    EXPECT_NE(testing::internal::GetCapturedStderr().find(
                  "Вы действительно хотите произвести замену номеров?"),
              std::string::npos);
    EXPECT_EQ(ctx.users.Item(0)->phone.toString(), "7123");
    EXPECT_EQ(ctx.users.Item(2)->phone.toString(), "7789");

    TNumbersChange some(ctx.users, &w);
    some.selectedRows = [&] { return w.selectedRows(); };
    some.selectedOnly()->setChecked(true);
    w.list()->clearSelection();
    testing::internal::CaptureStderr();
    EXPECT_FALSE(some.apply());
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Ошибка: Нет выбрано записей"),
              std::string::npos);
    select(w, {1});
    some.digits()->setValue(2);
    some.replacement()->setText("#0");
    testing::internal::CaptureStderr();
    EXPECT_TRUE(some.apply());
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(ctx.users.Item(1)->phone.toString(), "#056");
    EXPECT_EQ(ctx.users.Item(0)->phone.toString(), "7123");
    TUserList again;
    ASSERT_TRUE(again.open(dir.path(), 0));
    EXPECT_EQ(again.Item(1)->phone.toString(), "#056");
}

TEST_F(DeskTest, DuplicateRemovalKeepsTheLastOfEachSet) {
    TForm1 w(ctx);
    w.show();
    for (const auto& [name, phone] : QList<QPair<QString, QString>>{
             {"А", "1"}, {"Б", "2"}, {"А", "1"}, {"а", "1"}, {"Б", "2"}, {"А", "1"}}) {
        TUserListItem it;
        it.id = ctx.users.NextId();
        it.name.assign(name);
        it.phone.assign(phone);
        it.comment.assign(QString::number(ctx.users.Count()));
        ctx.users.AddItem(it);
    }
    w.refreshList();
    w.action("actDeleteDuplicates")->trigger();
    EXPECT_EQ(ctx.users.Count(), 3);
    EXPECT_EQ(w.allCountText(), "Всего записей - 3");
    QStringList kept;
    for (int i = 0; i < ctx.users.Count(); ++i)
        kept << ctx.users.Item(i)->name.toString() + ctx.users.Item(i)->comment.toString();
    EXPECT_EQ(QSet<QString>(kept.begin(), kept.end()), (QSet<QString>{"Б4", "А5", "а3"}));
}

TEST_F(DeskTest, HeaderClicksCycleAscendingDescendingAscending) {
    TForm1 w(ctx);
    w.show();
    for (const char* n : {"Борис", "Алла", "Вера"}) {
        TUserListItem it;
        it.id = ctx.users.NextId();
        it.name.assign(QString::fromUtf8(n));
        ctx.users.AddItem(it);
    }
    w.refreshList();
    QHeaderView* header = w.list()->horizontalHeader();
    emit header->sectionClicked(0);
    EXPECT_EQ(names(), (QStringList{"Алла", "Борис", "Вера"}));
    EXPECT_EQ(w.sortText(), "Сортировка - Абонент");
    emit header->sectionClicked(0);
    EXPECT_EQ(names(), (QStringList{"Вера", "Борис", "Алла"}));
    emit header->sectionClicked(0);
    EXPECT_EQ(names(), (QStringList{"Алла", "Борис", "Вера"}));
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
    // Another column starts again at ascending.
    emit header->sectionClicked(1);
    EXPECT_EQ(w.sortText(), "Сортировка - Телефон");
    EXPECT_EQ(header->sortIndicatorSection(), 1);

    // "Сгруппировать выделенные": the unmarked first, the marked last.
    ctx.users.Item(0)->mark = 1;
    const QString marked = ctx.users.Item(0)->name.toString();
    w.button("btnGroupSelected")->click();
    EXPECT_EQ(names().last(), marked);
    EXPECT_EQ(w.sortText(), "Сортировка - Помеченные");
}

TEST_F(DeskTest, ColumnWidthsArrangeAndAreGuarded) {
    EXPECT_EQ(arrangedWidths({100, 50}, 300), (QList<int>{300, 50}));
    EXPECT_EQ(arrangedWidths({100, 100, 40}, 250), (QList<int>{125, 125, 40}));
    EXPECT_EQ(guardedColumnWidth(0, 3, 2), 10);
    EXPECT_EQ(guardedColumnWidth(1, 3, 2), 3);

    TForm1 w(ctx);
    w.show();
    QHeaderView* header = w.list()->horizontalHeader();
    header->resizeSection(0, 3);
    EXPECT_EQ(header->sectionSize(0), 10);
    header->resizeSection(5, 5);
    EXPECT_EQ(header->sectionSize(5), 5);
    w.close();
    TForm1 fresh(ctx);
    EXPECT_GE(fresh.list()->horizontalHeader()->sectionSize(5), 5);
    ctx.settings.setPath(dir.path() + "/other.ini");
    TForm1 unstored(ctx);
    unstored.show();
    // The columns fit their captions ("Подтверждение" whole).
    QHeaderView* fitted = unstored.list()->horizontalHeader();
    for (int c = 0; c < 6; ++c) {
        const QString caption = fitted->model()->headerData(c, Qt::Horizontal).toString();
        EXPECT_GT(fitted->sectionSize(c), fitted->fontMetrics().horizontalAdvance(caption))
            << caption.toStdString();
    }
    unstored.findChild<QAction*>("popArrangeFields")->trigger();
    int sum = 0;
    for (int c = 0; c < 5; ++c)
        sum += unstored.list()->horizontalHeader()->sectionSize(c);
    EXPECT_NEAR(sum, unstored.list()->viewport()->width(), 5);
}

TEST_F(DeskTest, MarkedRowsTakeTheColourSetOfTheirState) {
    TForm1 w(ctx);
    w.show();
    addSubscriber(w, "А", "1");
    UserListModel* m = w.model();
    const QModelIndex cell = m->index(0, 1);
    EXPECT_FALSE(m->data(cell, Qt::BackgroundRole).isValid());
    // Space on the focused row marks it.
    w.list()->setCurrentIndex(m->index(0, 2));
    QTest::keyClick(w.list(), Qt::Key_Space);
    ASSERT_EQ(ctx.users.Item(0)->mark, 1);
    EXPECT_EQ(m->data(cell, Qt::BackgroundRole).value<QColor>(), QColor(255, 255, 0));
    EXPECT_TRUE(m->data(cell, Qt::FontRole).value<QFont>().bold());
    ctx.users.Item(0)->attempts = 5;
    ctx.users.Item(0)->lastState = 15;
    EXPECT_EQ(m->data(cell, Qt::BackgroundRole).value<QColor>(), QColor(255, 0, 0));
    EXPECT_EQ(m->data(cell, Qt::ForegroundRole).value<QColor>(), QColor(255, 255, 0));
    ctx.users.Item(0)->lastState = 14;
    EXPECT_EQ(m->data(cell, Qt::BackgroundRole).value<QColor>(), QColor(0, 255, 0));
    EXPECT_EQ(m->data(cell, Qt::ForegroundRole).value<QColor>(), QColor(0, 0, 0));
    // Changes of many rows arrive as one repaint.
    int repaints = 0;
    QObject::connect(m, &QAbstractItemModel::dataChanged, [&] { ++repaints; });
    for (int k = 0; k < 50; ++k)
        m->refreshRow(0);
    QCoreApplication::processEvents();
    EXPECT_EQ(repaints, 1);
}

TEST_F(DeskTest, WithoutTheEditRightEditingDoesNothingButMarkingWorks) {
    TForm1 w(ctx);
    w.show();
    addSubscriber(w, "А", "1");
    ctx.rights.set("гость", uint16_t(OperatorRight::ChangeGroups));
    for (const char* n : {"btnNewRecord", "btnRepeatRecord", "btnChangeRecord", "btnDeleteRecord",
                          "btnApply", "btnCancel", "StartButton", "btnAlarmResult"}) {
        EXPECT_TRUE(w.button(n)->isHidden()) << n;
    }
    for (const char* n : {"actAddRecord", "actDuplicateRecord", "actChangeRecord",
                          "actDeleteRecord", "actChangeStruct", "actDeviceInfo",
                          "actAlarmOptions"}) {
        EXPECT_FALSE(w.action(n)->isVisible()) << n;
    }
    EXPECT_FALSE(w.findChild<QMenu*>("mnuService")->menuAction()->isVisible());
    EXPECT_FALSE(w.findChild<QMenu*>("mnuMessages")->menuAction()->isVisible());
    EXPECT_TRUE(w.button("btnSaveGroup")->isVisible());
    select(w, {0});
    w.newRecord();
    w.changeRecord();
    w.duplicateRecord();
    emit w.list()->doubleClicked(w.model()->index(0, 0));
    EXPECT_EQ(w.recordPanel()->mode(), TfrRecordInterface::kViewing);
    w.toggleMark(0);
    EXPECT_EQ(ctx.users.Item(0)->mark, 1);
    emit w.list()->horizontalHeader()->sectionClicked(0);
    EXPECT_EQ(w.sortText(), "Сортировка - Абонент");
    // A re-login with every right shows the commands again.
    ctx.rights.grantAll();
    EXPECT_FALSE(w.button("btnNewRecord")->isHidden());
    select(w, {0});
    emit w.list()->doubleClicked(w.model()->index(0, 0));
    EXPECT_EQ(w.recordPanel()->mode(), TfrRecordInterface::kEditOne);
}

TEST_F(DeskTest, DuringARunTheListCannotChange) {
    TForm1 w(ctx);
    w.show();
    addSubscriber(w, "Б", "1");
    addSubscriber(w, "А", "2");
    std::mutex fields;
    w.setIdle(false, &fields);
    w.newRecord();
    EXPECT_EQ(w.recordPanel()->mode(), TfrRecordInterface::kViewing);
    select(w, {0});
    w.deleteRecords();
    w.removeDuplicates();
    emit w.list()->horizontalHeader()->sectionClicked(0);
    w.groupSelected();
    w.toggleMark(0);
    EXPECT_EQ(names(), (QStringList{"Б", "А"}));
    EXPECT_EQ(ctx.users.Item(0)->mark, 0);
    EXPECT_FALSE(w.groupFilter()->isEnabled());
    EXPECT_FALSE(w.action("actReplaceNumbers")->isEnabled());
    w.setIdle(true);
    w.removeDuplicates();
    emit w.list()->horizontalHeader()->sectionClicked(0);
    EXPECT_EQ(names(), (QStringList{"А", "Б"}));
}

TEST_F(DeskTest, WindowCommandsAreOfferedOnlyOnceTheirWindowExists) {
    TForm1 w(ctx);
    w.show();
    EXPECT_FALSE(w.action("actPrint")->isVisible());
    EXPECT_FALSE(w.action("actUser")->isVisible());
    QWidget* parent = nullptr;
    ctx.commands.printList = [&](QWidget* p) { parent = p; };
    ctx.commands.currentUser = [](QWidget*) {};
    ctx.rights.grantAll();
    ASSERT_TRUE(w.action("actPrint")->isVisible());
    EXPECT_TRUE(w.action("actUser")->isVisible());
    w.action("actPrint")->trigger();
    EXPECT_EQ(parent, &w);
    ASSERT_TRUE(bool(ctx.commands.shownEntries));
    addSubscriber(w, "А", "1");
    addSubscriber(w, "Б", "2");
    select(w, {1});
    EXPECT_EQ(ctx.commands.shownEntries(), QList<int>{1});
}

TEST_F(DeskTest, GroupFilterShowsMembersAndKeepsMarks) {
    TForm1 w(ctx);
    w.setGroups(&groups);
    w.show();
    addSubscriber(w, "А", "1");
    addSubscriber(w, "Б", "2");
    addSubscriber(w, "В", "3");
    groups.AddToGroup("Смена", 3);
    groups.AddToGroup("Смена", 4);
    groups.RescanGroups();
    if (groups.onChange)
        groups.onChange();
    ASSERT_EQ(w.groupFilter()->count(), 3);  // all, the empty name, "Смена"
    ctx.users.Item(1)->mark = 1;
    w.groupFilter()->setCurrentIndex(2);
    emit w.groupFilter()->activated(2);
    EXPECT_EQ(names(), (QStringList{"Б", "В"}));
    EXPECT_EQ(ctx.users.Item(0)->mark, 1);
    EXPECT_FALSE(w.button("btnSaveGroup")->isEnabled());
    w.groupFilter()->setCurrentIndex(0);
    emit w.groupFilter()->activated(0);
    EXPECT_EQ(ctx.users.Count(), 3);
    EXPECT_TRUE(w.button("btnSaveGroup")->isEnabled());
}

TEST(DeviceInfo, UnservedLinesAndUnitStatesInTheProgramsWords) {
    app();
    EXPECT_EQ(unservedLineText("board 1 channel 12"), "плата 2, канал 13");
    EXPECT_EQ(converterStateText(1), "Найдено");
    EXPECT_EQ(unitStateText(4), "Acknowledge_Timeout");
    THardwareInfo info(nullptr, {"board 0 channel 13"});
    info.fill();
    auto* note = info.findChild<QLabel*>("UnservedLines");
    ASSERT_NE(note, nullptr);
    EXPECT_EQ(note->text(), "Линии, которые программа не обслуживает: плата 1, канал 14.");
}

}  // namespace

// The record panel's label column takes its width from the settings and the
// width it has is stored again when the program closes.
TEST_F(DeskTest, FieldLabelColumnKeepsItsStoredWidth) {
    ctx.settings.WriteSetting(SID_PANEL_FIELDLABELS_WIDTH, 190);
    {
        TForm1 w(ctx);
        w.resize(1000, 700);
        w.show();
        QCoreApplication::processEvents();
        TfrRecordInterface* panel = w.recordPanel();
        EXPECT_GE(panel->labelsWidth(), 190);
        // The fields begin right of the column, however short the labels.
        EXPECT_GE(panel->nameEdit()->x(), 190);
        panel->setLabelsWidth(150);
        QCoreApplication::processEvents();
        panel->layout()->activate();
        EXPECT_LT(panel->nameEdit()->x(), 190);
        EXPECT_GE(panel->labelsWidth(), 150);
        w.close();
    }
    const int stored = ctx.settings.readInt(SID_PANEL_FIELDLABELS_WIDTH, 0);
    EXPECT_GE(stored, 150);
    EXPECT_LT(stored, 190);
}

// Rights 0x011 (administrator and the subscriber base): the structure editor
// and the record commands are offered and work, the start of a notification
// is not.
TEST_F(DeskTest, AdministratorOfTheBaseEditsRecordsButCannotStart) {
    TForm1 w(ctx);
    w.show();
    ctx.rights.set("администратор", 0x011);
    ASSERT_TRUE(ctx.rights.has(OperatorRight::Administrator));
    ASSERT_TRUE(ctx.rights.has(OperatorRight::ChangeBase));
    EXPECT_TRUE(w.action("actChangeStruct")->isVisible());
    for (const char* n :
         {"actAddRecord", "actDuplicateRecord", "actChangeRecord", "actDeleteRecord"}) {
        EXPECT_TRUE(w.action(n)->isVisible()) << n;
    }
    for (const char* n : {"btnNewRecord", "btnRepeatRecord", "btnChangeRecord", "btnDeleteRecord"})
        EXPECT_FALSE(w.button(n)->isHidden()) << n;
    EXPECT_TRUE(w.button("StartButton")->isHidden());
    // The record commands do what they say.
    addSubscriber(w, "Иванов", "100");
    ASSERT_EQ(ctx.users.Count(), 1);
    select(w, {0});
    emit w.list()->doubleClicked(w.model()->index(0, 0));
    EXPECT_EQ(w.recordPanel()->mode(), TfrRecordInterface::kEditOne);
    w.cancelEdit();
    // Every right: the start button comes back.
    ctx.rights.grantAll();
    EXPECT_FALSE(w.button("StartButton")->isHidden());
}
