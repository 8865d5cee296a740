// The parameters dialog as the operator uses it, page by page, offscreen:
// what "OK" writes and passes to the scripted line library, and that closing
// it otherwise changes nothing.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include "core/texts.h"
#include "notify/notify_lines.h"
#include "recording_library.h"
#include "test_support.h"
#include "ui/advanced_param.h"
#include "ui/confirm_page.h"
#include "ui/program_context.h"
#include "ui/signal_frame.h"
#include "ui/ui_test_support.h"

namespace orvel::test {
namespace {

class ParamsWindow : public ::testing::Test {
protected:
    explicit ParamsWindow(std::vector<int> boards = {4, 8})
        : lib(std::move(boards)), registry(QString(), QString()) {}

    void SetUp() override {
        app();
        resetTexts();
        qputenv("ORVEL_DIALOG_ANSWER", "1");
        registryFile = dir.path() + "/registry.ini";
        registry = Registry(registryFile, ctx.names.registryKey());
        ctx.executableDir = dir.path();
        ctx.dirs = loadProgramDirs(dir.path(), ctx.names, registryFile);
        ctx.settings.setPath(ctx.dirs.settingsFile);
        ASSERT_TRUE(writeAll(ctx.settings.path(), ""));
        ctx.options.load(ctx.settings);
        ProgramStateRecord r;
        lib.GetProgrammState(r);
        lines.Create(r);
        lines.loadSettings(ctx.settings);
        params = std::make_unique<TAdvancedParams>(ctx.settings, ctx.options, ctx.dirs, lib, lines);
        params->setRegistry(&registry);
        params->setLibraryLogPath(dir.path() + "/OrvelDll.log");
    }
    void TearDown() override { qunsetenv("ORVEL_DIALOG_ANSWER"); }

    std::unique_ptr<TfAdvancedParam> open() {
        lib.clearRecords();
        return std::make_unique<TfAdvancedParam>(ctx, *params);
    }
    bool iniHas(const QString& line) const {
        return readAll(ctx.settings.path()).contains(cp(line));
    }

    QTemporaryDir dir;
    QString registryFile;
    ProgramContext ctx;
    RecordingLibrary lib;
    TORVLines lines;
    Registry registry;
    std::unique_ptr<TAdvancedParams> params;
};

TEST_F(ParamsWindow, SixPagesInOrderAndRightsTakeSomeAway) {
    {
        auto w = open();
        EXPECT_EQ(w->windowTitle(), "Дополнительные настройки");
        QStringList titles;
        for (int i = 0; i < w->pages()->count(); ++i)
            titles << w->pages()->tabText(i);
        EXPECT_EQ(titles,
                  (QStringList{"Общие", "Директории", "Параметры линии", "Параметры сигналов",
                               "Список абонентов", "Способ подтверждения"}));
        EXPECT_EQ(w->lineGrid()->rowCount(), 12);  // one row per line of both boards
        EXPECT_EQ(w->channelChoice()->count(), 12);
        EXPECT_EQ(w->channelChoice()->itemText(11), "Канал #12");
        EXPECT_EQ(w->lineGrid()->item(11, 0)->text(), "12");
        EXPECT_TRUE(w->generalBox(0)->isEnabled());
        w->reject();
    }
    const auto all = ctx.rights.bits();
    ctx.rights.set("Оператор", all & ~uint16_t(OperatorRight::Administrator) &
                                   ~uint16_t(OperatorRight::ChangeLineParams) &
                                   ~uint16_t(OperatorRight::Interface) &
                                   ~uint16_t(OperatorRight::ChangeNotifyParams));
    auto w = open();
    EXPECT_EQ(w->pages()->count(), 2);
    EXPECT_EQ(w->page("Директории"), nullptr);
    EXPECT_EQ(w->page("Параметры линии"), nullptr);
    EXPECT_EQ(w->page("Параметры сигналов"), nullptr);
    EXPECT_EQ(w->page("Список абонентов"), nullptr);
    for (int n = 0; n < 5; ++n)
        EXPECT_FALSE(w->generalBox(n)->isEnabled()) << n;
    EXPECT_TRUE(w->generalBox(5)->isEnabled());
    // OK without those pages touches no line.
    w->accept();
    EXPECT_TRUE(lib.lineTypes.empty());
    EXPECT_TRUE(lib.dropModes.empty());
}

// --- "Общие" ----------------------------------------------------------------

TEST_F(ParamsWindow, GeneralSwitchesReachFileAndLibraryOnOkOnly) {
    const QByteArray before = readAll(ctx.settings.path());
    {
        auto w = open();
        EXPECT_EQ(w->generalBox(0)->text(),
                  "Автоматически открывать окно результатов после оповещения.");
        // Shown inverted: subscribers must confirm, so the box is clear.
        EXPECT_FALSE(w->generalBox(4)->isChecked());
        EXPECT_FALSE(w->generalBox(2)->isChecked());
        w->generalBox(2)->click();  // the program's value changes at once...
        EXPECT_FALSE(ctx.options.notConfirmEditList);
        w->generalBox(3)->setChecked(true);
        w->generalBox(4)->setChecked(true);
        w->reject();  // ...and is restored by cancel
    }
    EXPECT_TRUE(ctx.options.notConfirmEditList);
    EXPECT_FALSE(ctx.options.logSystem);
    EXPECT_TRUE(lib.logSwitches.empty());
    EXPECT_TRUE(lib.confirmOn.empty());
    EXPECT_TRUE(lib.lineTypes.empty());
    EXPECT_TRUE(lib.timeParams.empty());
    // Cancel wrote nothing but the window's placement.
    QByteArray after = readAll(ctx.settings.path());
    EXPECT_FALSE(after.contains("ID_SETTINGS")) << after.constData();
    EXPECT_TRUE(before.isEmpty());

    auto w = open();
    w->generalBox(3)->setChecked(true);
    w->generalBox(4)->setChecked(true);
    w->generalBox(6)->setChecked(true);
    w->accept();
    EXPECT_TRUE(iniHas("SID_LOG_SYSTEM=True"));
    EXPECT_TRUE(iniHas("SID_ABONENT_CONFIRMATION=False"));
    EXPECT_TRUE(iniHas("SID_DEBUG_DUMP=True"));
    EXPECT_FALSE(iniHas("SID_REPORT_AUTOSHOW"));  // unchanged: not applied
    EXPECT_EQ(lib.logSwitches.size(), 1u);
    EXPECT_EQ(lib.confirmOn, (std::vector<int>{0}));
    EXPECT_EQ(lib.dumps, (std::vector<int>{1}));
    EXPECT_TRUE(iniHas("fAdvancedParam_Width="));
    EXPECT_TRUE(readAll(ctx.settings.path()).contains("[ADV_PARAM]"));
}

// --- "Директории" -----------------------------------------------------------

TEST_F(ParamsWindow, DirectoryThatCannotBeCreatedKeepsTheOldOne) {
    ASSERT_TRUE(writeAll(dir.path() + "/file", "x"));
    const QString oldWav = ctx.dirs.wavMessages;
    QString groupsGiven;
    params->onGroupDirectory = [&](const QString& d) { groupsGiven = d; };
    auto w = open();
    EXPECT_EQ(w->directoryEdit(DataDirectory::WavMessages)->text(), oldWav);
    w->directoryEdit(DataDirectory::WavMessages)->setText(dir.path() + "/file/Wav");
    w->directoryEdit(DataDirectory::Groups)->setText(dir.path() + "/Другие/Группы");
    w->directoryEdit(DataDirectory::Reports)->clear();
    const QString oldReports = ctx.dirs.reports;
    w->accept();
    EXPECT_EQ(ctx.dirs.wavMessages, oldWav);
    EXPECT_TRUE(registry.value(kRegWavDir).isEmpty());
    EXPECT_EQ(ctx.dirs.reports, oldReports);
    EXPECT_EQ(ctx.dirs.groups, dir.path() + "/Другие/Группы");
    EXPECT_EQ(registry.value(kRegGroupDir), dir.path() + "/Другие/Группы");
    EXPECT_EQ(groupsGiven, dir.path() + "/Другие/Группы");
}

// --- "Параметры линии" -----------------------------------------------------

TEST_F(ParamsWindow, GridEditsReachLinesFileAndLibrary) {
    auto w = open();
    QTableWidget* g = w->lineGrid();
    EXPECT_EQ(g->horizontalHeaderItem(4)->text(), "Игнорировать краткое падение напряжения");
    EXPECT_EQ(g->item(2, kGridDialMode)->text(), "Тоновый");
    g->item(2, kGridDialMode)->setText("Импульсный");
    g->item(2, kGridPrefix1)->setText("9");
    EXPECT_EQ(g->item(2, kGridPrefix1Wait)->text(), "Ждать");  // shown once a prefix is set
    g->item(9, kGridPrefix1)->setText("x1");                   // not a number: no prefix
    g->item(9, kGridDropMode)->setText("Да");
    w->dropLinesBox()->setChecked(false);
    w->accept();
    EXPECT_EQ(lines.Items(2)->DialMode, 0);
    EXPECT_EQ(lines.Items(2)->Prefix1, 9);
    EXPECT_EQ(lines.Items(9)->Prefix1, -1);
    EXPECT_EQ(lines.Items(9)->DropMode, 0);
    EXPECT_TRUE(iniHas("SID_DIAL_MODE_2=0"));
    EXPECT_TRUE(iniHas("SID_LINE_PREFIX1_2=9"));
    EXPECT_TRUE(iniHas("SID_LINE_LINE_DROP_MODE_9=0"));
    EXPECT_TRUE(iniHas("SID_USER_DROP_LINES=False"));
    EXPECT_EQ(lib.dropModes.size(), 12u);
}

TEST_F(ParamsWindow, GridCellEditorIsAChoiceOfTheColumnsTwoTexts) {
    auto w = open();
    w->show();
    QTableWidget* g = w->lineGrid();
    g->setCurrentCell(0, kGridUse);
    g->editItem(g->item(0, kGridUse));
    auto* box = g->findChild<QComboBox*>();
    ASSERT_NE(box, nullptr);
    ASSERT_EQ(box->count(), 2);
    EXPECT_EQ(box->itemText(0), "Не использовать");
    box->setCurrentIndex(0);
    emit box->activated(0);
    QApplication::processEvents();
    EXPECT_EQ(g->item(0, kGridUse)->text(), "Не использовать");
    w->accept();
    EXPECT_EQ(lines.Items(0)->Enabled, 0);
    EXPECT_TRUE(iniHas("SID_LINE_ENABLED_0=0"));
}

// Ten boards of eighteen lines: a row for every one, each reachable.
class ParamsWindowAllLines : public ParamsWindow {
protected:
    ParamsWindowAllLines() : ParamsWindow(std::vector<int>(10, 18)) {}
};

TEST_F(ParamsWindowAllLines, GridHasARowForEveryLineAndTheLastOneCanBeEdited) {
    auto w = open();
    w->show();
    w->pages()->setCurrentWidget(w->page("Параметры линии"));
    QApplication::processEvents();
    QTableWidget* g = w->lineGrid();
    ASSERT_EQ(g->rowCount(), 180);
    EXPECT_EQ(w->channelChoice()->count(), 180);
    for (int row = 0; row < 180; ++row)
        ASSERT_EQ(g->item(row, 0)->text(), QString::number(row + 1));
    // The rows beyond the window scroll into view.
    EXPECT_GT(g->verticalScrollBar()->maximum(), 0);
    g->scrollToItem(g->item(179, kGridDialMode));
    QApplication::processEvents();
    EXPECT_TRUE(g->viewport()->rect().contains(g->visualItemRect(g->item(179, kGridDialMode))));
    // With ORVEL_SCREENSHOT_DIR set: a picture of every page.
    if (const QString shots = qEnvironmentVariable("ORVEL_SCREENSHOT_DIR"); !shots.isEmpty()) {
        for (int i = 0; i < w->pages()->count(); ++i) {
            w->pages()->setCurrentIndex(i);
            QApplication::processEvents();
            w->grab().save(shots + QString("/advanced_param_%1.png").arg(i + 1));
        }
        w->pages()->setCurrentWidget(w->page("Параметры линии"));
    }
    g->item(179, kGridDialMode)->setText("Импульсный");
    w->accept();
    EXPECT_EQ(lines.Items(179)->DialMode, 0);
    EXPECT_EQ(lines.Items(178)->DialMode, 1);
    EXPECT_TRUE(iniHas("SID_DIAL_MODE_179=0"));
}

// --- "Параметры сигналов" --------------------------------------------------

TEST_F(ParamsWindow, DefaultsThenOkSetsTimingOnlyOnTheChangedLine) {
    ctx.settings.WriteIndexedSetting(SID_SIGNAL_KPW_WAIT, 6, 90);
    ctx.settings.WriteIndexedSetting(SID_SIGNAL_DTMF_AMPLITUDE, 6, 5);
    ctx.settings.WriteIndexedSetting(SID_LINE_TYPE, 6, 1);
    lines.loadSettings(ctx.settings);
    auto w = open();
    w->channelChoice()->setCurrentIndex(6);
    TframeSignalParam* f = w->signalFrame();
    EXPECT_EQ(f->trackBar(2)->value(), 90);
    EXPECT_TRUE(f->QuantCheckBox->isChecked());
    w->setSignalDefaults();
    std::array<int, 8> shown{};
    for (int k = 0; k < 8; ++k)
        shown[size_t(k)] = f->trackBar(k)->value();
    EXPECT_EQ(shown, (std::array<int, 8>{5, 3, 30, 3, 30, 5, 3, 1}));
    EXPECT_TRUE(f->QuantCheckBox->isChecked());  // the line type stays
    // Another line's frame shows, the first keeps its values.
    w->channelChoice()->setCurrentIndex(0);
    EXPECT_EQ(f->trackBar(2)->value(), 30);
    w->accept();
    ASSERT_EQ(lib.timeParams.size(), 1u);
    EXPECT_EQ(lib.timeParams[0].first, (std::array<uint32_t, 2>{1, 2}));
    EXPECT_EQ(lib.timeParams[0].second.KpwWait, 30);
    ASSERT_EQ(lib.dtmfLevels.size(), 1u);
    EXPECT_EQ(lib.dtmfLevels[0].value, 1u);
    EXPECT_EQ(lib.lineTypes.size(), 12u);
    EXPECT_EQ(lib.lineTypes[6].value, 1u);
    EXPECT_TRUE(iniHas("SID_SIGNAL_KPW_WAIT_6=30"));
    EXPECT_TRUE(iniHas("SID_SIGNAL_DTMF_AMPLITUDE_6=1"));
}

TEST_F(ParamsWindow, ColoursOnlyStillReappliesGridAndFrames) {
    int repaints = 0;
    auto w = open();
    w->onListLook = [&] { ++repaints; };
    w->colourSets()[0].background = 0x00FF00;  // blue 0, green 0xFF... stored BGR
    w->colourSets()[2].italic = true;
    QFont f = w->font();
    f.setFamily("DejaVu Sans");
    f.setPointSize(13);
    f.setBold(true);
    w->setListFont(f, QColor(0, 0, 128));
    w->accept();
    EXPECT_EQ(repaints, 1);
    EXPECT_EQ(ctx.options.colours[0].background, 0x00FF00u);
    EXPECT_TRUE(iniHas("SID_COLORS_BACKGROUND_1=65280"));
    EXPECT_TRUE(iniHas("SID_COLORS_FONT_STYLE_3=257"));
    EXPECT_TRUE(iniHas("SID_COLORS_FONT_STYLE_4=1"));
    EXPECT_TRUE(iniHas("SID_COLORS_FOREGROUND_4=8388608"));
    EXPECT_TRUE(iniHas("[SID_MAIN_LISTVIEW_FONT]"));
    EXPECT_TRUE(iniHas("Size=13"));
    EXPECT_EQ(lib.lineTypes.size(), 12u);
    EXPECT_EQ(lib.dropModes.size(), 12u);
    EXPECT_TRUE(lib.timeParams.empty());
    // A new program reads the same sets back.
    ProgramOptions again;
    again.load(ctx.settings);
    EXPECT_TRUE(again.colours[2].italic);
    EXPECT_EQ(again.colours[0].background, 0x00FF00u);
}

// --- "Способ подтверждения" -----------------------------------------------

TEST_F(ParamsWindow, PatternEditFiltersKeysAndRefusesBrokenExpressions) {
    auto w = open();
    w->show();
    TConfirmPage* p = w->confirmPage();
    QTest::keyClicks(p->patternEdit(), "*8a(4");
    EXPECT_EQ(p->patternEdit()->text(), "*84");
    EXPECT_TRUE(p->addButton()->isEnabled());
    QTest::keyClick(p->patternEdit(), Qt::Key_Return);  // Enter adds: refused, it is broken
    EXPECT_EQ(p->table()->topLevelItemCount(), 0);
    EXPECT_TRUE(w->isVisible());
    p->patternEdit()->setText("^8495");
    p->methodChoice()->setCurrentIndex(1);
    QTest::keyClick(p->patternEdit(), Qt::Key_Return);
    ASSERT_EQ(p->table()->topLevelItemCount(), 1);
    EXPECT_EQ(p->table()->topLevelItem(0)->text(1), "Положенная трубка");
    EXPECT_TRUE(p->patternEdit()->text().isEmpty());
    w->reject();
    EXPECT_EQ(ctx.confirmMethods.count(), 0);  // cancel: the program's table stays
}

TEST_F(ParamsWindow, TableOrderAndEditsSurviveARestart) {
    ctx.confirmMethods.append("^9", kConfirmDtmf);
    {
        auto w = open();
        TConfirmPage* p = w->confirmPage();
        for (const char* pat : {"^8", "^7"}) {
            p->patternEdit()->setText(pat);
            p->methodChoice()->setCurrentIndex(2);
            p->addButton()->click();
        }
        ASSERT_EQ(p->table()->topLevelItemCount(), 3);
        p->table()->topLevelItem(2)->setSelected(true);
        EXPECT_FALSE(p->patternEdit()->text().isEmpty());
        EXPECT_FALSE(p->downButton()->isEnabled());
        p->upButton()->click();
        p->upButton()->click();
        EXPECT_FALSE(p->upButton()->isEnabled());
        // "^7" is first now and still selected: change its method.
        p->methodChoice()->setCurrentIndex(0);
        p->changeButton()->click();
        p->defaultChoice()->setCurrentIndex(1);
        w->accept();
    }
    TConfirmMethodManager restarted;
    restarted.load(ctx.settings);
    ASSERT_EQ(restarted.count(), 3);
    EXPECT_EQ(restarted.entry(0).pattern, "^7");
    EXPECT_EQ(restarted.entry(0).method, kConfirmDtmf);
    EXPECT_EQ(restarted.entry(1).pattern, "^9");
    EXPECT_EQ(restarted.entry(2).pattern, "^8");
    EXPECT_EQ(restarted.entry(2).method, kConfirmDtmfOrHangUp);
    EXPECT_EQ(restarted.defaultMethod(), kConfirmHangUp);
    EXPECT_EQ(*ctx.confirmMethods.MethodForNumber("712"), kConfirmDtmf);
}

}  // namespace
}  // namespace orvel::test
