#include <gtest/gtest.h>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "core/cp1251.h"
#include "core/ini_file.h"
#include "core/safe_file.h"
#include "core/settings_manager.h"
#include "test_support.h"

using namespace orvel;

namespace {

class SettingsTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path() const { return dir.path() + "/ORVEL.ini"; }
};

TEST_F(SettingsTest, ValuesRoundTripAndReachTheDiskAtOnce) {
    SettingsManager s(path());
    s.WriteSetting(SID_MAIN_MAX_CALLS_COUNT, 7);
    s.WriteSetting(SID_REPORT_AUTOSHOW, true);
    s.WriteIndexedSetting(SID_LINE_ENABLED, 0, 0);
    s.WriteSetting(SID_IMPORT_DIR, QStringLiteral("/дом/Импорт"));

    const QByteArray file = test::readAll(path());
    EXPECT_TRUE(file.contains("[ID_SETTINGS]"));
    EXPECT_TRUE(file.contains("SID_MAIN_MAX_CALLS_COUNT=7"));
    EXPECT_TRUE(file.contains("SID_REPORT_AUTOSHOW=True"));
    EXPECT_TRUE(file.contains("SID_LINE_ENABLED_0=0"));
    // Windows-1251 on disk, not UTF-8.
    EXPECT_TRUE(file.contains(test::cp("SID_IMPORT_DIR=/дом/Импорт")));
    EXPECT_FALSE(file.contains(QStringLiteral("Импорт").toUtf8()));

    SettingsManager other(path());
    EXPECT_EQ(other.readInt(SID_MAIN_MAX_CALLS_COUNT, 5), 7);
    EXPECT_TRUE(other.readBool(SID_REPORT_AUTOSHOW, false));
    EXPECT_EQ(other.readIndexedInt(SID_LINE_ENABLED, 0, 1), 0);
    EXPECT_EQ(other.readIndexedInt(SID_LINE_ENABLED, 1, 1), 1);  // absent: default
    EXPECT_EQ(other.readString(SID_IMPORT_DIR, {}), QStringLiteral("/дом/Импорт"));
}

TEST_F(SettingsTest, BooleansAcceptWordsAndIntegers) {
    ASSERT_TRUE(test::writeAll(path(),
                               "[ID_SETTINGS]\r\nSID_LOG_SYSTEM=1\r\nSID_DEBUG_DUMP=0\r\n"
                               "SID_REPORT_AUTOSAVE=False\r\nSID_USER_DROP_LINES=true\r\n"
                               "SID_REPORT_AUTOSHOW=maybe\r\n"));
    SettingsManager s(path());
    EXPECT_TRUE(s.readBool(SID_LOG_SYSTEM, false));
    EXPECT_FALSE(s.readBool(SID_DEBUG_DUMP, true));
    EXPECT_FALSE(s.readBool(SID_REPORT_AUTOSAVE, true));
    EXPECT_TRUE(s.readBool(SID_USER_DROP_LINES, false));
    // A text that is no boolean keeps the default.
    EXPECT_TRUE(s.readBool(SID_REPORT_AUTOSHOW, true));
    EXPECT_FALSE(s.readBool(SID_REPORT_AUTOSHOW, false));
}

TEST_F(SettingsTest, EmptyOrUnconvertibleValuesGiveTheDefault) {
    ASSERT_TRUE(test::writeAll(path(),
                               "[id_settings]\nSID_MAIN_MAX_CALLS_COUNT=\n"
                               "SID_ATTEMPT_PAUSE=abc\nSID_CRYPT_MODE= 1 \n"));
    SettingsManager s(path());
    EXPECT_EQ(s.readInt(SID_MAIN_MAX_CALLS_COUNT, 5), 5);
    EXPECT_EQ(s.readInt(SID_ATTEMPT_PAUSE, 0), 0);
    // Section names ignore letter case, like the platform's profile functions.
    EXPECT_EQ(s.readInt(SID_CRYPT_MODE, 0), 1);
}

TEST_F(SettingsTest, ReadingStopsAt1024Characters) {
    SettingsManager s(path());
    s.WriteSetting(SID_IMPORT_DIR, QString(2000, 'x'));
    EXPECT_EQ(s.readString(SID_IMPORT_DIR, {}).size(), 1024);
}

TEST_F(SettingsTest, ObjectSettingsUseTheirOwnSection) {
    SettingsManager s(path());
    EXPECT_FALSE([&] {
        PropertyList p;
        return s.ReadObjectSettings(SID_MAIN_LISTVIEW_FONT, -1, p);
    }());
    s.WriteObjectSettings(SID_MAIN_LISTVIEW_FONT, -1,
                          {{"Name", "Arial"}, {"Size", "10"}, {"Style", "[fsBold]"}});
    s.WriteObjectSettings(SID_MAIN_LISTVIEW_FONT, 2, {{"Name", "Courier"}});
    const QByteArray file = test::readAll(path());
    EXPECT_TRUE(file.contains("[SID_MAIN_LISTVIEW_FONT]"));
    EXPECT_TRUE(file.contains("[SID_MAIN_LISTVIEW_FONT2]"));
    PropertyList p;
    ASSERT_TRUE(s.ReadObjectSettings(SID_MAIN_LISTVIEW_FONT, -1, p));
    ASSERT_EQ(p.size(), 3);
    EXPECT_EQ(p[0].first, "Name");
    EXPECT_EQ(p[2].second, "[fsBold]");
}

// Collects the failed writes the store reports.
class SettingsFailureTest : public SettingsTest {
protected:
    void SetUp() override {
        setWriteFailureReporter(
            [this](const QString& p, const QString& error) { reported << p + " | " + error; });
    }
    void TearDown() override { setWriteFailureReporter(nullptr); }
    QStringList reported;
};

TEST_F(SettingsFailureTest, UnreadableFileIsNeverOverwrittenAndTheWriteIsReported) {
    // A directory in place of the file: reads give defaults, writes do nothing.
    ASSERT_TRUE(QDir().mkdir(path()));
    SettingsManager s(path());
    s.WriteSetting(SID_CRYPT_MODE, 1);
    EXPECT_EQ(s.readInt(SID_CRYPT_MODE, 0), 0);
    ASSERT_EQ(reported.size(), 1);
    EXPECT_TRUE(reported[0].startsWith(path() + " | ")) << reported[0].toStdString();
}

TEST_F(SettingsFailureTest, FileTooLargeForSettingsIsNeitherReadNorOverwritten) {
    // A settings file is kilobytes; megabytes of it would be read again for
    // every value and take many times their size in memory.
    QByteArray big = "[ID_SETTINGS]\r\nSID_CRYPT_MODE=1\r\n";
    big.append(QByteArray(IniFile::kMaxBytes - big.size() + 1, ';'));
    ASSERT_TRUE(test::writeAll(path(), big));

    IniFile ini(path());
    EXPECT_FALSE(ini.load());
    EXPECT_EQ(ini.errorString(), "файл больше 4 МБ, он не прочитан");

    SettingsManager s(path());
    EXPECT_EQ(s.readInt(SID_CRYPT_MODE, 0), 0);
    s.WriteSetting(SID_CRYPT_MODE, 2);
    EXPECT_EQ(test::readAll(path()), big);
    ASSERT_EQ(reported.size(), 1);
    EXPECT_EQ(reported[0], path() + " | файл больше 4 МБ, он не прочитан");

    // At the limit it is a file like any other.
    big.chop(1);
    ASSERT_TRUE(test::writeAll(path(), big));
    EXPECT_EQ(s.readInt(SID_CRYPT_MODE, 0), 1);
    s.WriteSetting(SID_CRYPT_MODE, 2);
    EXPECT_EQ(SettingsManager(path()).readInt(SID_CRYPT_MODE, 0), 2);
}

TEST_F(SettingsTest, ReadsFollowEveryChangeOfTheFile) {
    SettingsManager s(path());
    EXPECT_EQ(s.readIndexedInt(SID_LINE_ENABLED, 0, 1), 1);  // no file yet
    s.WriteIndexedSetting(SID_LINE_ENABLED, 0, 0);
    EXPECT_EQ(s.readIndexedInt(SID_LINE_ENABLED, 0, 1), 0);

    // Another store (a second program) writes the same file.
    SettingsManager other(path());
    other.WriteIndexedSetting(SID_LINE_ENABLED, 0, 3);
    EXPECT_EQ(s.readIndexedInt(SID_LINE_ENABLED, 0, 1), 3);
    s.WriteIndexedSetting(SID_LINE_ENABLED, 1, 4);  // keeps the other's value
    EXPECT_EQ(other.readIndexedInt(SID_LINE_ENABLED, 0, 1), 3);
    EXPECT_EQ(other.readIndexedInt(SID_LINE_ENABLED, 1, 1), 4);

    // An editor changes it in place, same size: at once, within the tick of
    // the file's last change (its times may not move), and a moment later.
    const auto editInPlace = [&](const QByteArray& from, const QByteArray& to, int later) {
        QByteArray text = test::readAll(path());
        text.replace(from, to);
        QFile f(path());
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_EQ(f.write(text), text.size());
        if (later > 0)
            f.setFileTime(QDateTime::currentDateTime().addSecs(later),
                          QFileDevice::FileModificationTime);
    };
    editInPlace("SID_LINE_ENABLED_0=3", "SID_LINE_ENABLED_0=6", 0);
    EXPECT_EQ(s.readIndexedInt(SID_LINE_ENABLED, 0, 1), 6);
    editInPlace("SID_LINE_ENABLED_0=6", "SID_LINE_ENABLED_0=5", 2);
    EXPECT_EQ(s.readIndexedInt(SID_LINE_ENABLED, 0, 1), 5);

    // Removed: defaults again, and the next write makes it anew.
    ASSERT_TRUE(QFile::remove(path()));
    EXPECT_EQ(s.readIndexedInt(SID_LINE_ENABLED, 0, 1), 1);
    s.WriteIndexedSetting(SID_LINE_ENABLED, 2, 0);
    EXPECT_EQ(SettingsManager(path()).readIndexedInt(SID_LINE_ENABLED, 2, 1), 0);
    EXPECT_EQ(s.readIndexedInt(SID_LINE_ENABLED, 1, 1), 1);

    // A copy and a new path read their own files.
    SettingsManager copy = s;
    copy.setPath(dir.path() + "/Other.ini");
    EXPECT_EQ(copy.readIndexedInt(SID_LINE_ENABLED, 2, 1), 1);
    EXPECT_EQ(s.readIndexedInt(SID_LINE_ENABLED, 2, 1), 0);
}

TEST(Cp1251, EveryByteSurvivesDecodeAndEncode) {
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    EXPECT_EQ(cp1251::encode(cp1251::decode(all)), all);
    EXPECT_EQ(cp1251::decode(QByteArray("\xC0\xE1\xE2\xA8\xB8")), QStringLiteral("АбвЁё"));
    EXPECT_EQ(cp1251::encode(QStringLiteral("日")), QByteArray("?"));
}

}  // namespace
