#include <gtest/gtest.h>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include "core/command_line.h"
#include "core/file_names.h"
#include "core/instance_guard.h"
#include "core/program_dirs.h"
#include "test_support.h"

using namespace orvel;

namespace {

TEST(ProgramDirs, MissingKeyIsCreatedAndDefaultsFollowTheExecutable) {
    QTemporaryDir cfg, exe;
    const QString reg = cfg.path() + "/sub/registry.ini";
    const ProgramDirs d = loadProgramDirs(exe.path() + "/", {}, reg);
    EXPECT_TRUE(d.fromRegistry);
    EXPECT_TRUE(QFileInfo::exists(reg));
    EXPECT_TRUE(test::readAll(reg).contains("[SOFTWARE\\ORVEL]"));
    EXPECT_EQ(d.program, exe.path());
    EXPECT_EQ(d.reports, exe.path() + "/Reports");
    EXPECT_EQ(d.groups, exe.path() + "/Groups");
    EXPECT_EQ(d.wavMessages, exe.path() + "/Messages/Wav");
    EXPECT_EQ(d.txtMessages, exe.path() + "/Messages/Txt");
    EXPECT_EQ(d.schemes, exe.path() + "/NotifyScheme");
    for (const QString& p : {d.reports, d.groups, d.wavMessages, d.txtMessages, d.schemes}) {
        EXPECT_TRUE(QFileInfo(p).isDir()) << p.toStdString();
    }
    EXPECT_EQ(d.settingsFile, exe.path() + "/ORVEL.ini");
}

TEST(ProgramDirs, RegistryValuesWinEmptyOnesFallBackAndDelimitersGo) {
    QTemporaryDir cfg, prog;
    const QString reg = cfg.path() + "/registry.ini";
    Registry r(reg, "SOFTWARE\\ORVEL");
    ASSERT_TRUE(r.open());
    ASSERT_TRUE(r.setValue(kRegProgramDir, prog.path() + "/"));
    ASSERT_TRUE(r.setValue(kRegReportsDir, ""));
    ASSERT_TRUE(r.setValue(kRegGroupDir, prog.path() + "/Группы/"));
    // Settings file found whatever its letter case.
    ASSERT_TRUE(test::writeAll(prog.path() + "/orvel.INI", "[ID_SETTINGS]\n"));

    const ProgramDirs d = loadProgramDirs("/nonexistent", {}, reg);
    EXPECT_EQ(d.program, prog.path());
    EXPECT_EQ(d.reports, prog.path() + "/Reports");
    EXPECT_EQ(d.groups, prog.path() + "/Группы");
    EXPECT_TRUE(QFileInfo(d.groups).isDir());
    EXPECT_EQ(d.settingsFile, prog.path() + "/orvel.INI");
}

TEST(ProgramDirs, UnusableKeyLeavesEverythingUnsetAndRelativeSettings) {
    QTemporaryDir cfg;
    // A directory where the registry file should be cannot be opened.
    ASSERT_TRUE(QDir().mkdir(cfg.path() + "/registry.ini"));
    const ProgramDirs d = loadProgramDirs("/x", {}, cfg.path() + "/registry.ini");
    EXPECT_FALSE(d.fromRegistry);
    EXPECT_TRUE(d.program.isEmpty());
    EXPECT_EQ(d.settingsFile, "Settings.ini");
}

TEST(ProgramDirs, ConfigDirectoryHonoursTheEnvironment) {
    // The test environment has pointed it at a temporary directory.
    EXPECT_EQ(configDirectory(),
              withoutTrailingDelimiter(qEnvironmentVariable("ORVEL_CONFIG_DIR")));
    EXPECT_EQ(registryFilePath(), configDirectory() + "/registry.ini");
}

TEST(ProductNames, NamesAreFormedFromTheWord) {
    ProductNames n;
    EXPECT_EQ(n.registryKey(), "SOFTWARE\\ORVEL");
    EXPECT_EQ(n.settingsFileName(), "ORVEL.ini");
    EXPECT_EQ(n.systemLogFileName(), "OrvelSys.log");
    n.word = "ALARM";
    n.branded = true;
    EXPECT_EQ(n.systemLogFileName(), "ALARMSys.log");
    EXPECT_EQ(n.settingsFileName(), "ALARM.ini");
}

TEST(InstanceGuard, SecondGuardOnTheSameDirectoryIsRefused) {
    QTemporaryDir dir;
    InstanceGuard first(dir.path());
    ASSERT_TRUE(first.acquire());
    InstanceGuard second(dir.path());
    EXPECT_FALSE(second.acquire());
}

TEST(CommandLine, LastParameterWithoutItsFirstCharacterNamesTheScheme) {
    EXPECT_EQ(schemeNameFromCommandLine({}), "");
    EXPECT_EQ(schemeNameFromCommandLine({"\\Пожар"}), "Пожар");
    EXPECT_EQ(schemeNameFromCommandLine({"\\first", "\\second"}), "second");
    EXPECT_EQ(schemeNameFromCommandLine({"\\first", "x"}), "");
    EXPECT_EQ(schemeNameFromCommandLine({"\\" + QString(300, 'a')}).size(), 255);
}

}  // namespace
