// The program as a process: it starts and closes cleanly without a screen,
// and a second copy gives way to the first.

#include <gtest/gtest.h>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include "core/operators_file.h"
#include "core/program_dirs.h"
#include "core/settings_manager.h"
#include "test_support.h"

using namespace orvel;

namespace {

class ProgramTest : public ::testing::Test {
protected:
    QTemporaryDir config, program;
    void SetUp() override {
        Registry reg(config.path() + "/registry.ini", "SOFTWARE\\ORVEL");
        ASSERT_TRUE(reg.open());
        ASSERT_TRUE(reg.setValue(kRegProgramDir, program.path()));
        SettingsManager s(program.path() + "/ORVEL.ini");
        s.writeValue("DEVELOPER", "AutoLogin", "tester");
        // AutoLogin logs in an operator whose password is empty.
        TOperatorEntry tester;
        tester.name = "tester";
        tester.rights = 0x3FD;
        tester.passwordHash = hashOperatorPassword("", 1, 8192);
        QString error;
        ASSERT_TRUE(saveOperatorsFile(program.path() + "/ORVELUsers.dat",
                                      {encodeOperatorRecord(tester)}, &error))
            << error.toStdString();
    }
    std::unique_ptr<QProcess> start(const QStringList& args, const char* answer = "6") {
        auto p = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("ORVEL_CONFIG_DIR", config.path());
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("ORVEL_DIALOG_ANSWER", answer);
        p->setProcessEnvironment(env);
        p->start(ORVEL_APP_PATH, args);
        EXPECT_TRUE(p->waitForStarted(10000));
        return p;
    }
    QByteArray systemLog() const { return test::readAll(program.path() + "/OrvelSys.log"); }
};

TEST_F(ProgramTest, StartsAndClosesCleanly) {
    auto p = start({"--orvel-exit-after=300"});
    ASSERT_TRUE(p->waitForFinished(60000));
    EXPECT_EQ(p->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p->exitCode(), 0) << p->readAllStandardError().toStdString();
    const QByteArray log = systemLog();
    EXPECT_TRUE(log.contains(test::cp(" Запуск программы\r")));
    EXPECT_TRUE(log.contains(test::cp(" Закрытие программы\r")));
    EXPECT_TRUE(log.contains("tester"));
    EXPECT_EQ(QFileInfo(program.path() + "/Users.dbf").size(), 185);
    for (const char* d : {"Reports", "Groups", "Messages/Wav", "Messages/Txt", "NotifyScheme"}) {
        EXPECT_TRUE(QFileInfo(program.path() + "/" + d).isDir()) << d;
    }
    EXPECT_TRUE(p->readAllStandardError().contains("Закрыть программу?"));
}

TEST_F(ProgramTest, SecondCopyWarnsAndEndsWhileTheFirstRuns) {
    auto first = start({"--orvel-exit-after=6000"});
    QElapsedTimer t;
    t.start();
    while (!systemLog().contains(test::cp("Запуск программы")) && t.elapsed() < 30000) {
        QThread::msleep(50);
    }
    ASSERT_EQ(first->state(), QProcess::Running);
    auto second = start({}, "1");
    ASSERT_TRUE(second->waitForFinished(30000));
    EXPECT_EQ(second->exitCode(), 0);
    EXPECT_TRUE(QString::fromUtf8(second->readAllStandardError())
                    .contains("Внимание: Программа оповещения уже запущена."));
    EXPECT_EQ(first->state(), QProcess::Running);
    ASSERT_TRUE(first->waitForFinished(60000));
    EXPECT_EQ(first->exitCode(), 0);
    // The lock went with the first copy: a new start succeeds.
    auto third = start({"--orvel-exit-after=100"});
    ASSERT_TRUE(third->waitForFinished(60000));
    EXPECT_FALSE(third->readAllStandardError().contains("уже запущена"));
}

TEST_F(ProgramTest, MissingCommandLineSchemeIsReported) {
    auto p = start({"\\Пожар", "--orvel-exit-after=100"});
    ASSERT_TRUE(p->waitForFinished(60000));
    const QString err = QString::fromUtf8(p->readAllStandardError());
    EXPECT_TRUE(err.contains("Схема оповещения\n\"Пожар\"\nне найдена!")) << err.toStdString();
}

}  // namespace

namespace {

// Without its operators file the program refuses everyone; unattended, the
// login window that would follow counts as cancelled and the program ends.
TEST_F(ProgramTest, MissingOperatorsFileRefusesTheLoginAndEndsUnattended) {
    ASSERT_TRUE(QFile::remove(program.path() + "/ORVELUsers.dat"));
    auto p = start({"--orvel-exit-after=300"}, "1");
    ASSERT_TRUE(p->waitForFinished(60000));
    EXPECT_EQ(p->exitCode(), 0);
    const QString err = QString::fromUtf8(p->readAllStandardError());
    EXPECT_TRUE(
        err.contains("Ошибка чтения файла с паролями! \n" + program.path() + "/ORVELUsers.dat"))
        << err.toStdString();
    EXPECT_TRUE(err.contains("Указанный пользователь не найден!\nВ доступе отказано!"))
        << err.toStdString();
    EXPECT_TRUE(err.contains("login window cancelled")) << err.toStdString();
    const QByteArray log = systemLog();
    EXPECT_TRUE(log.contains(test::cp(" В доступе отказано\r")));
    EXPECT_FALSE(log.contains(test::cp("Закрытие программы")));
}

}  // namespace
