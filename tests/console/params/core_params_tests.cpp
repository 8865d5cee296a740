// The widget-free parts of the parameters dialog: the handler table, the data
// directories and the confirmation-method editor.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "core/confirm_editor.h"
#include "core/directory_change.h"
#include "core/param_handlers.h"
#include "core/settings_manager.h"
#include "core/texts.h"
#include "test_support.h"

using namespace orvel;

namespace {

// --- the handler table ---------------------------------------------------

TEST(HandlerTable, OkAppliesOnlyWhatChangedAndWhatAlwaysCounts) {
    int a = 1, b = 2;  // "controls"
    int programA = 1, programB = 2;
    int alwaysApplied = 0, cancelled = 0;
    TParamHandlerTable t;
    t.add({"a", [&] { return QVariant(a); },
           [&] {
               a = programA;
               return QVariant(a);
           },
           [&](const QVariant& v) { programA = v.toInt(); }, [&] { ++cancelled; }, false});
    t.add({"b",
           [&] { return QVariant(b); },
           [&] {
               b = programB;
               return QVariant(b);
           },
           [&](const QVariant& v) { programB = v.toInt(); },
           {},
           false});
    t.add({"grid",
           [] { return QVariant(); },
           [] { return QVariant(); },
           [&](const QVariant&) { ++alwaysApplied; },
           {},
           true});
    t.loadAll();
    b = 7;
    EXPECT_EQ(t.applyChanged(), (QStringList{"b", "grid"}));
    EXPECT_EQ(programA, 1);
    EXPECT_EQ(programB, 7);
    EXPECT_EQ(alwaysApplied, 1);
    // Changed and changed back counts as unchanged.
    t.loadAll();
    a = 5;
    a = 1;
    EXPECT_EQ(t.applyChanged(), (QStringList{"grid"}));
    t.cancelAll();
    EXPECT_EQ(cancelled, 1);
}

// --- directories ---------------------------------------------------------

class DirectoriesPage : public ::testing::Test {
protected:
    void SetUp() override {
        resetTexts();
        registryFile = dir.path() + "/registry.ini";
        dirs.wavMessages = dir.path() + "/Wav";
        dirs.groups = dir.path() + "/Groups";
        ASSERT_TRUE(registry.open());
        ASSERT_TRUE(registry.setValue(kRegWavDir, dirs.wavMessages));
    }
    QTemporaryDir dir;
    QString registryFile;
    ProgramDirs dirs;
    Registry registry{dir.path() + "/registry.ini", "SOFTWARE\\ORVEL"};
};

TEST_F(DirectoriesPage, NewDirectoryIsCreatedWithItsParentsThenBecomesLive) {
    const QString wanted = dir.path() + "/a/b/Messages/";
    const auto r = changeDataDirectory(dirs, DataDirectory::WavMessages, wanted, registry);
    ASSERT_TRUE(r.ok()) << r.message.toStdString();
    EXPECT_TRUE(QFileInfo(dir.path() + "/a/b/Messages").isDir());
    EXPECT_EQ(dirs.wavMessages, dir.path() + "/a/b/Messages");
    EXPECT_EQ(registry.value(kRegWavDir), dir.path() + "/a/b/Messages");
}

TEST_F(DirectoriesPage, EmptyEditWarnsAndKeepsTheOldDirectoryEverywhere) {
    const QString before = dirs.wavMessages;
    const auto r = changeDataDirectory(dirs, DataDirectory::WavMessages, "  ", registry);
    EXPECT_EQ(r.error, DirectoryChangeError::NotSpecified);
    EXPECT_EQ(r.message, "Не указана директория для звуковых сообщений !");
    EXPECT_EQ(r.caption, "Внимание");
    EXPECT_EQ(dirs.wavMessages, before);
    EXPECT_EQ(registry.value(kRegWavDir), before);
}

TEST_F(DirectoriesPage, DirectoryThatCannotBeCreatedKeepsTheOldOneInMemoryAndRegistry) {
    // A file stands where a parent directory would have to be made.
    ASSERT_TRUE(test::writeAll(dir.path() + "/blocker", "x"));
    const QString before = dirs.wavMessages;
    const auto r = changeDataDirectory(dirs, DataDirectory::WavMessages,
                                       dir.path() + "/blocker/Wav", registry);
    EXPECT_EQ(r.error, DirectoryChangeError::CannotCreate);
    EXPECT_TRUE(r.message.startsWith("Не удалось создать директорию")) << r.message.toStdString();
    EXPECT_GT(r.message.size(), QString("Не удалось создать директорию").size() + 10);
    EXPECT_EQ(r.caption, "Ошибка");
    EXPECT_EQ(dirs.wavMessages, before);
    EXPECT_EQ(registry.value(kRegWavDir), before);
}

TEST_F(DirectoriesPage, UnwritableRegistryLeavesTheProgramOnTheOldDirectory) {
    Registry broken(dir.path() + "/no/registry.ini", "SOFTWARE\\ORVEL");
    ASSERT_TRUE(test::writeAll(dir.path() + "/no", "file, not a directory"));
    const QString before = dirs.groups;
    const auto r = changeDataDirectory(dirs, DataDirectory::Groups, dir.path() + "/G2", broken);
    EXPECT_EQ(r.error, DirectoryChangeError::RegistryError);
    EXPECT_EQ(r.message, "Ошибка изменения реестра!");
    EXPECT_EQ(dirs.groups, before);
}

// --- confirmation methods ------------------------------------------------

TEST(ConfirmationPage, KeyFilterTakesOnlyPatternCharacters) {
    for (QChar c : QString("0123456789*?,-wW"))
        EXPECT_TRUE(isPatternCharAllowed(c)) << c.toLatin1();
    for (QChar c : QString("a+()[]. #x"))
        EXPECT_FALSE(isPatternCharAllowed(c)) << c.toLatin1();
}

TEST(ConfirmationPage, InvalidRegularExpressionIsRefusedWithAMessageAndNotStored) {
    TConfirmMethodEditor e;
    QString why;
    EXPECT_FALSE(e.add("*495", kConfirmDtmf, &why));
    EXPECT_TRUE(
        why.startsWith("Маска телефонного номера не является правильным регулярным "
                       "выражением \"*495\""))
        << why.toStdString();
    EXPECT_TRUE(e.entries().isEmpty());
    ASSERT_TRUE(e.add("^8495", kConfirmHangUp));
    const QString bad = "12**";
    EXPECT_FALSE(e.change({0}, &bad, kConfirmDtmf, &why));
    EXPECT_EQ(e.entries()[0].pattern, "^8495");
    EXPECT_EQ(e.entries()[0].method, kConfirmHangUp);
}

TEST(ConfirmationPage, ChangeDeleteAndMovesWorkOnEverySelectedRow) {
    TConfirmMethodEditor e;
    for (const char* p : {"1", "2", "3", "4"})
        ASSERT_TRUE(e.add(p, kConfirmDtmf));
    // Several rows selected: the pattern edit is off, only the method changes.
    ASSERT_TRUE(e.change({1, 3}, nullptr, kConfirmDtmfOrHangUp));
    EXPECT_EQ(e.entries()[1].method, kConfirmDtmfOrHangUp);
    EXPECT_EQ(e.entries()[3].method, kConfirmDtmfOrHangUp);
    EXPECT_EQ(e.entries()[2].method, kConfirmDtmf);

    EXPECT_FALSE(e.canMoveUp({0, 2}));
    EXPECT_TRUE(e.canMoveDown({0, 2}));
    EXPECT_EQ(e.moveDown({0, 2}), (QList<int>{1, 3}));
    auto order = [&] {
        QString s;
        for (const auto& x : e.entries())
            s += x.pattern;
        return s;
    };
    EXPECT_EQ(order(), "2143");
    EXPECT_FALSE(e.canMoveDown({1, 3}));
    EXPECT_EQ(e.moveUp({1, 3}), (QList<int>{0, 2}));
    EXPECT_EQ(order(), "1234");
    e.remove({3, 0, 3});
    EXPECT_EQ(order(), "23");
}

TEST(ConfirmationPage, NothingReachesTheProgramBeforeApplyAndApplySurvivesARestart) {
    QTemporaryDir dir;
    SettingsManager s(dir.path() + "/ORVEL.ini");
    ASSERT_TRUE(test::writeAll(s.path(), ""));
    TConfirmMethodManager program;
    program.append("^9", kConfirmHangUp);
    program.setDefaultMethod(kConfirmDtmf);
    program.save(s);

    TConfirmMethodEditor e;
    e.load(program);
    ASSERT_TRUE(e.add("^8", kConfirmDtmfOrHangUp));
    e.moveUp({1});
    e.setDefaultMethod(kConfirmHangUp);
    EXPECT_EQ(program.count(), 1);  // the working copy only
    EXPECT_EQ(*program.MethodForNumber("812"), kConfirmDtmf);

    e.apply(program, s);
    EXPECT_EQ(*program.MethodForNumber("812"), kConfirmDtmfOrHangUp);
    TConfirmMethodManager restarted;
    restarted.load(s);
    ASSERT_EQ(restarted.count(), 2);
    EXPECT_EQ(restarted.entry(0).pattern, "^8");
    EXPECT_EQ(restarted.entry(1).pattern, "^9");
    EXPECT_EQ(restarted.defaultMethod(), kConfirmHangUp);
    EXPECT_EQ(*restarted.MethodForNumber("555"), kConfirmHangUp);
}

}  // namespace
