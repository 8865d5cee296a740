// The run windows with ten boards of eighteen lines: the status window's
// rows, its volume bar over the sound output, and the gain window's panels.

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QTemporaryDir>

#include "core/settings_manager.h"
#include "core/texts.h"
#include "data/user_list.h"
#include "diag/line_state_log.h"
#include "media/output_volume.h"
#include "notify/fake_line_library.h"
#include "notify/run_bridge.h"
#include "ui/aru_window.h"
#include "ui/line_rows_view.h"
#include "ui/notify_status.h"
#include "ui/ui_test_support.h"

using namespace orvel;
using orvel::test::app;
using orvel::test::FakeLineLibrary;

namespace {

class FakeVolume : public IOutputVolume {
public:
    explicit FakeVolume(bool present, std::optional<int> level = std::nullopt)
        : present_(present), level_(level) {}
    bool available() const override { return present_; }
    std::optional<int> volume() override { return level_; }
    bool setVolume(int v) override {
        sets.push_back(v);
        level_ = v;
        return true;
    }
    std::vector<int> sets;

private:
    bool present_;
    std::optional<int> level_;
};

class AllLinesWindows : public ::testing::Test {
protected:
    void SetUp() override {
        app();
        resetTexts();
        ProgramStateRecord record{};
        lib.GetProgrammState(record);
        lines.Create(record);
        ASSERT_EQ(lines.Count(), 180);
    }
    FakeLineLibrary lib{std::vector<int>(10, 18)};
    TORVLines lines;
};

TEST_F(AllLinesWindows, StateOfTheLastLineReachesTheLastRowThroughTheRun) {
    QTemporaryDir dir;
    TUserList users;
    ASSERT_TRUE(users.open(dir.path(), 0));
    TUserListItem it;
    it.id = users.NextId();
    it.name.assign(QStringLiteral("Последний"));
    it.phone.assign(QStringLiteral("555"));
    it.line = 179;
    users.AddItem(it);
    users.Item(0)->mark = 1;
    lib.callPolls = 1 << 30;  // stays in its call
    TManualClock clock(QDateTime(QDate(2026, 12, 8), QTime(12, 0)));
    TLineStateLog log(dir.path());
    TNotifyRun run(lib, lines, users, clock, &log);
    TRunBridge bridge;
    run.setObserver(&bridge);
    TNotifyStatus status(lines, lib);
    status.buildRows();
    ASSERT_EQ(status.rowCount(), 180);
    QObject::connect(&bridge, &TRunBridge::lineRow, &status, &TNotifyStatus::setLineRow,
                     Qt::QueuedConnection);
    run.settings().programDir = dir.path();
    run.resetRunFields();
    run.assignLines();
    run.beginRun();
    run.RunPass();
    run.RunPass();
    QApplication::processEvents();
    ASSERT_EQ(lib.calls.size(), 1u);
    EXPECT_EQ(lib.calls[0].board, 9);
    EXPECT_EQ(lib.calls[0].channel, 17);
    const TLineRowView* last = status.rowView(179);
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->status, T(textNumbera));  // state 2 of the scripted call
    EXPECT_EQ(last->name, "Последний");
    EXPECT_EQ(last->number, "555");
    EXPECT_TRUE(last->controlsVisible);
    EXPECT_EQ(status.rowView(178)->name, QString());
}

TEST_F(AllLinesWindows, RowsScrollAndTheWindowFitsTheScreen) {
    TNotifyStatus status(lines, lib);
    status.buildRows();
    status.show();
    QApplication::processEvents();
    TLineRowsView* rows = status.rows();
    const QRect screen = status.screen()->availableGeometry();
    EXPECT_LE(status.frameGeometry().height(), screen.height());
    // 180 rows do not fit: the list scrolls, and to its end shows the last row.
    ASSERT_GT(rows->verticalScrollBar()->maximum(), 0);
    rows->verticalScrollBar()->setValue(rows->verticalScrollBar()->maximum());
    QApplication::processEvents();
    status.setLineRow(179, "Свободна", 0xE6F6FD, 0, "", "", true);
    QPushButton* last = status.listenButton(179);
    ASSERT_NE(last, nullptr);
    const QPoint inView = last->mapTo(rows->viewport(), QPoint(0, 0));
    EXPECT_TRUE(rows->viewport()->rect().contains(inView));
    // A change of one line repaints that row only.
    QApplication::processEvents();
    rows->takeRepaintCount();
    status.setLineRow(179, "Набор номера", 0x00FF00, 0, "1", "А", true);
    QApplication::processEvents();
    EXPECT_EQ(rows->takeRepaintCount(), 1);
    status.setLineRow(179, "Набор номера", 0x00FF00, 0, "1", "А", true);  // unchanged
    QApplication::processEvents();
    EXPECT_EQ(rows->takeRepaintCount(), 0);
}

TEST_F(AllLinesWindows, FewLinesFitWithoutScrolling) {
    FakeLineLibrary small({5, 12});
    ProgramStateRecord record{};
    small.GetProgrammState(record);
    TORVLines few;
    few.Create(record);
    TNotifyStatus status(few, small);
    status.buildRows();
    status.show();
    QApplication::processEvents();
    EXPECT_EQ(status.rows()->verticalScrollBar()->maximum(), 0);
}

TEST_F(AllLinesWindows, VolumeBarStartsAtTheOutputsVolumeAndDrivesIt) {
    TNotifyStatus status(lines, lib);
    auto owned = std::make_unique<FakeVolume>(true, 65535 - 10000);
    FakeVolume& volume = *owned;
    status.setOutputVolume(std::move(owned));
    status.show();
    EXPECT_TRUE(status.volume()->isVisible());
    EXPECT_EQ(status.volume()->value(), 10000);  // read from the device, not written back
    EXPECT_TRUE(volume.sets.empty());
    status.volume()->setValue(0);  // top: full volume
    status.volume()->setValue(65535);
    EXPECT_EQ(volume.sets, (std::vector<int>{65535, 0}));
    status.hide();

    TNotifyStatus without(lines, lib);
    without.setOutputVolume(std::make_unique<FakeVolume>(false));
    without.show();
    EXPECT_FALSE(without.volume()->isVisible());
}

TEST(OutputVolume, ScaleMapsOntoTheElementsRangeBothWays) {
    EXPECT_EQ(toRawVolume(0, 0, 87), 0);
    EXPECT_EQ(toRawVolume(65535, 0, 87), 87);
    EXPECT_EQ(toRawVolume(32768, -100, 100), 0);
    EXPECT_EQ(toRawVolume(70000, 0, 10), 10);  // clamped
    EXPECT_EQ(fromRawVolume(87, 0, 87), 65535);
    EXPECT_EQ(fromRawVolume(-100, -100, 100), 0);
    for (int v : {0, 1000, 30000, 65535})
        EXPECT_NEAR(fromRawVolume(toRawVolume(v, 0, 65536), 0, 65536), v, 1);
    EXPECT_EQ(toRawVolume(5000, 3, 3), 3);  // a range without width
    EXPECT_EQ(fromRawVolume(3, 3, 3), 0);
}

TEST(OutputVolume, MissingDeviceOrElementIsNotAvailableAndRefusesQuietly) {
    for (const auto& [device, element] : {std::pair{"no-such-device", "Master"},
                                          std::pair{"default", "No such element"}}) {
        auto v = makeAlsaOutputVolume(device, element);
        ASSERT_NE(v, nullptr);
        EXPECT_FALSE(v->available()) << device << " " << element;
        EXPECT_FALSE(v->volume());
        EXPECT_FALSE(v->setVolume(1000));
    }
}

TEST_F(AllLinesWindows, GainWindowHasAPanelPerBoardAndALabelledSliderPerLine) {
    QTemporaryDir dir;
    SettingsManager settings;
    settings.setPath(dir.path() + "/ORVEL.ini");
    settings.WriteIndexedSetting(SID_ARU_LEVEL_VALUE, 180, 6);
    TAru aru;
    EXPECT_EQ(aru.windowTitle(), "Входное усиление");
    aru.bind(&lines, &lib, &settings);
    ASSERT_EQ(aru.sliderCount(), 180);
    EXPECT_EQ(aru.panelCount(), 10);
    EXPECT_EQ(aru.level(179), 6);
    EXPECT_EQ(aru.valueText(179), "6");
    aru.setLevel(179, 2);
    EXPECT_EQ(aru.valueText(179), "2");
    ASSERT_EQ(lib.sensCalls.size(), 1u);
    EXPECT_EQ(lib.sensCalls[0], (std::array<uint32_t, 3>{9, 17, 2}));
    auto* slider = aru.findChild<QSlider*>("Slider180");
    ASSERT_NE(slider, nullptr);
    EXPECT_TRUE(slider->toolTip().contains("плата 10"));
    EXPECT_TRUE(slider->toolTip().contains("канал 18"));
    aru.show();
    QApplication::processEvents();
    EXPECT_LE(aru.frameGeometry().height(), aru.screen()->availableGeometry().height());
    // Up and down only: every board's panel whole, nothing to scroll sideways.
    auto* area = aru.findChild<QScrollArea*>();
    ASSERT_NE(area, nullptr);
    EXPECT_EQ(area->horizontalScrollBar()->maximum(), 0);
    const auto boxes = aru.findChildren<QGroupBox*>();
    EXPECT_EQ(boxes.size(), 10);
    for (const QGroupBox* box : boxes)
        EXPECT_LE(box->geometry().right(), area->viewport()->width()) << box->title().toStdString();
    if (const QString shots = qEnvironmentVariable("ORVEL_SCREENSHOT_DIR"); !shots.isEmpty())
        aru.grab().save(shots + "/aru_180.png");
    auto* close = aru.findChild<QPushButton*>("CloseButton");
    ASSERT_NE(close, nullptr);
    EXPECT_EQ(close->text(), T(textClose));
    close->click();
    EXPECT_FALSE(aru.isVisible());
    EXPECT_EQ(settings.readIndexedInt(SID_ARU_LEVEL_VALUE, 180, 0), 2);
}

}  // namespace
