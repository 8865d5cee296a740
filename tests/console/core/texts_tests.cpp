#include <gtest/gtest.h>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryDir>

#include "core/ini_file.h"
#include "core/texts.h"
#include "test_support.h"

using namespace orvel;

namespace {

class TextsTest : public ::testing::Test {
protected:
    void SetUp() override { resetTexts(); }
    void TearDown() override { resetTexts(); }
    QTemporaryDir dir;
};

QString shippedLanguageFile() {
    return test::shippedDataDir() + "/Russian.lng";
}

TEST_F(TextsTest, TableHoldsEveryKeyOnceWithItsBuiltInText) {
    // The original table's 399 texts, and every text added since, once each.
    ASSERT_GE(kTextCount, 399);
    QSet<QString> pairs;
    QMap<QString, int> perSection;
    for (int i = 0; i < kTextCount; ++i) {
        const TextDef& d = textDef(TextId(i));
        EXPECT_FALSE(QString::fromUtf8(d.builtIn).isEmpty()) << d.key;
        pairs.insert(QString(d.section) + "/" + d.key);
        perSection[d.section]++;
    }
    // textNoAbonentsToAlarm supplies two texts under one key.
    EXPECT_EQ(pairs.size(), kTextCount - 1);
    EXPECT_STREQ(textDef(textAlarmClosing).key, "textNoAbonentsToAlarm");
    EXPECT_STREQ(textDef(textAlarmClosing).section, "Orvel");
    EXPECT_GE(perSection.size(), 27);
    EXPECT_EQ(perSection["Orvel"], 179);  // 178 keys, one of them read twice
    EXPECT_EQ(perSection["fAdvancedParam"], 50);
    EXPECT_EQ(perSection["Main"], 46);
    EXPECT_EQ(perSection["LogViewer"], 21);
}

TEST_F(TextsTest, BuiltInTextsAndSpecialForms) {
    EXPECT_EQ(T(textWarning), "Внимание");
    EXPECT_EQ(T(textProgramAlreadyRunning),
              "Программа оповещения уже запущена. Закройте запущенную программу и повторите "
              "попытку, или используйте для оповещения запущенную программу");
    EXPECT_EQ(T(textAllAbonents), QString(QChar(7)) + " Все абоненты " + QChar(7));
    EXPECT_EQ(T(textAlarmSchemes), "схем оповещения");
    EXPECT_EQ(T(textAlarmSchemesLabel), "Схемы оповещения");
    EXPECT_EQ(T(textNoAbonentsToAlarm), "Нет абонентов для оповещения");
    EXPECT_EQ(T(textAlarmClosing), "Закрытие оповещения");
}

TEST_F(TextsTest, ShippedLanguageFileSetsEveryKeyAndChangesNothing) {
    const QString path = shippedLanguageFile();
    ASSERT_TRUE(QFileInfo::exists(path)) << path.toStdString();
    IniFile ini(path);
    ASSERT_TRUE(ini.load());
    for (int i = 0; i < kTextCount; ++i) {
        const TextDef& d = textDef(TextId(i));
        // The one key that sets two texts is left out, so that the shipped
        // file leaves the stopped-run log entry as it is.
        EXPECT_EQ(ini.contains(d.section, d.key), QLatin1String(d.key) != "textNoAbonentsToAlarm")
            << d.section << "/" << d.key;
    }
    QStringList before;
    for (int i = 0; i < kTextCount; ++i)
        before << T(TextId(i));
    ASSERT_TRUE(LoadLanguage(path));
    for (int i = 0; i < kTextCount; ++i)
        EXPECT_EQ(T(TextId(i)), before[i]) << textDef(TextId(i)).key;
}

TEST_F(TextsTest, FileWithAFewKeysChangesExactlyThose) {
    const QString path = dir.path() + "/English.lng";
    ASSERT_TRUE(test::writeAll(path,
                               "[Orvel]\r\ntextWarning=Warning\r\ntextError=\r\n"
                               "textAllAbonents=All\r\n[Main]\r\ntextWarning=Ignored\r\n"
                               "[fAdvancedParam]\r\ntextAlarmSchemes=Schemes\r\n"));
    QStringList before;
    for (int i = 0; i < kTextCount; ++i)
        before << T(TextId(i));
    ASSERT_TRUE(LoadLanguage(path));
    EXPECT_EQ(T(textWarning), "Warning");
    EXPECT_EQ(T(textAllAbonents), QString(QChar(7)) + " All " + QChar(7));
    EXPECT_EQ(T(textAlarmSchemesLabel), "Schemes");
    for (int i = 0; i < kTextCount; ++i) {
        const TextId id = TextId(i);
        if (id == textWarning || id == textAllAbonents || id == textAlarmSchemesLabel)
            continue;
        EXPECT_EQ(T(id), before[i]) << textDef(id).key;  // empty value: built-in text
    }
}

TEST_F(TextsTest, OneKeySetsTheEmptyListWarningAndTheStoppedRunLogText) {
    const QString path = dir.path() + "/English.lng";
    ASSERT_TRUE(test::writeAll(path,
                               "[Orvel]\r\ntextNoAbonentsToAlarm=Nobody to notify\r\n"
                               "textAlarmClosing=Ignored\r\n"));
    ASSERT_TRUE(LoadLanguage(path));
    EXPECT_EQ(T(textNoAbonentsToAlarm), "Nobody to notify");
    EXPECT_EQ(T(textAlarmClosing), "Nobody to notify");
    resetTexts();
    const QString other = dir.path() + "/other.lng";
    ASSERT_TRUE(test::writeAll(other, "[Orvel]\r\ntextWarning=Warning\r\n"));
    ASSERT_TRUE(LoadLanguage(other));
    EXPECT_EQ(T(textNoAbonentsToAlarm), "Нет абонентов для оповещения");
    EXPECT_EQ(T(textAlarmClosing), "Закрытие оповещения");
}

TEST_F(TextsTest, LanguageFileIsWindows1251) {
    const QString path = dir.path() + "/x.lng";
    ASSERT_TRUE(test::writeAll(path, "[Orvel]\r\ntextError=" + test::cp("Сбой") + "\r\n"));
    ASSERT_TRUE(LoadLanguage(path));
    EXPECT_EQ(T(textError), "Сбой");
}

TEST_F(TextsTest, WrittenTemplateReadsBackUnchanged) {
    const QString path = dir.path() + "/template.lng";
    ASSERT_TRUE(writeLanguageFile(path));
    setText(textWarning, "changed");
    ASSERT_TRUE(LoadLanguage(path));
    EXPECT_EQ(T(textWarning), "Внимание");
    EXPECT_EQ(T(textAllAbonents), QString(QChar(7)) + " Все абоненты " + QChar(7));
}

TEST_F(TextsTest, PointerNamesAFileBesideTheExecutable) {
    const QString exe = dir.path();
    EXPECT_TRUE(languageFileFromPointer(exe + "/ORVEL.ini", exe).isEmpty());
    ASSERT_TRUE(test::writeAll(exe + "/ORVEL.ini", "[Language]\nFile=english.LNG\n"));
    EXPECT_TRUE(languageFileFromPointer(exe + "/ORVEL.ini", exe).isEmpty());  // missing file
    ASSERT_TRUE(test::writeAll(exe + "/English.lng", "[Orvel]\n"));
    EXPECT_EQ(languageFileFromPointer(exe + "/ORVEL.ini", exe), exe + "/English.lng");
    EXPECT_FALSE(LoadLanguage(exe + "/none.lng"));
}

}  // namespace
