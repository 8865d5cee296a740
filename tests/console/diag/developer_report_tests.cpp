// The developer report: its text against a scripted line library, its archive
// read back by python's zipfile, and the hand-over to a stand-in xdg-email.
#include <cstdint>

#include <gtest/gtest.h>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "core/cp1251.h"
#include "core/texts.h"
#include "diag/developer_report.h"
#include "diag/mail_handover.h"
#include "diag/report_archive.h"
#include "diag/system_info.h"
#include "notify/fake_line_library.h"
#include "test_support.h"

using namespace orvel;

namespace {

// Two boards: the first with two units, the second with one.
class BoardsLibrary : public test::FakeLineLibrary {
public:
    BoardsLibrary() : FakeLineLibrary({5, 6}) {}
    std::string file = "/opt/orvel/liborvel.so.2.7.13";
    int32_t GetProgrammState(ProgramStateRecord& r) override {
        r.fill(0xEEEEEEEE);  // absent units' slots must not show
        r[0] = 2;
        r[1] = 2;
        auto board = [&](int d, uint32_t version, uint32_t channels, uint32_t units) {
            r[2 + 21 * d] = version;
            r[3 + 21 * d] = channels;
            r[4 + 21 * d] = units;
        };
        auto unit = [&](int d, int u, uint32_t codec, uint32_t state, uint32_t v5, uint32_t v12,
                        uint32_t version, uint32_t serial) {
            const int w = 5 + 21 * d + 6 * u;
            r[w] = codec, r[w + 1] = state, r[w + 2] = v5, r[w + 3] = v12;
            r[w + 4] = version, r[w + 5] = serial;
        };
        board(0, 0x00030002, 5, 2);
        unit(0, 0, 1, 0, 128, 213, 0x00010004, 77);
        unit(0, 1, 2, 4, 127, 212, 0x00020000, 78);
        board(1, 0x00010001, 6, 1);
        unit(1, 0, 0, 9, 0, 0, 0, 0);
        return 0;
    }
    std::string libraryFile() override { return file; }
};

struct Shown {
    QString text, caption;
    uint16_t buttons;
    uint8_t kind;
};

class RecordingDialog : public IMessageDialog {
public:
    int answer = mb::kResultNo;
    QList<Shown> shown;
    int show(const QString& text, const QString& caption, uint16_t buttons, uint8_t kind) override {
        shown.append({text, caption, buttons, kind});
        return (buttons & mb::kYes) ? answer : mb::kResultOk;
    }
};

SystemInfoSources fakeSources(const QString& dir) {
    test::writeAll(dir + "/os-release",
                   "NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux "
                   "12 (bookworm)\"\nVERSION_ID=\"12\"\n");
    test::writeAll(dir + "/cpuinfo",
                   "processor\t: 0\nvendor_id\t: GenuineIntel\nmodel name\t:  "
                   "Intel(R) Xeon(R) CPU @ 2.20GHz \nprocessor\t: 1\n");
    test::writeAll(dir + "/meminfo",
                   "MemTotal:        8388608 kB\nMemFree:          100000 kB\n"
                   "MemAvailable:    2097152 kB\n");
    SystemInfoSources s;
    s.osRelease = dir + "/os-release";
    s.osReleaseFallback = dir + "/none";
    s.cpuInfo = dir + "/cpuinfo";
    s.memInfo = dir + "/meminfo";
    return s;
}

TEST(SystemInfo, TextOfTwoBoardsWithTheirUnits) {
    resetTexts();
    QTemporaryDir dir;
    BoardsLibrary lib;
    const SystemFacts facts = gatherSystemFacts(dir.path(), &lib, fakeSources(dir.path()));
    ASSERT_TRUE(facts.diskSize.has_value());
    const QString text = systemInfoText(facts);
    EXPECT_FALSE(text.contains(QRegularExpression("[^\r]\n")));
    EXPECT_TRUE(text.endsWith("\r\n"));
    const QStringList lines = text.split("\r\n");
    const QString disk = QString::number(*facts.diskSize >> 20);
    const QStringList expected = {
        "Операционная система: Debian GNU/Linux 12 (bookworm)",
        "Процессор: Intel(R) Xeon(R) CPU @ 2.20GHz",
        "Физическая память: 8192 Mb.",
        "Свободно физ. памяти: 2048 Mb.",
        "Директория: " + dir.path(),
        "Размер диска: " + disk + " Mb.",
    };
    EXPECT_EQ(lines.mid(0, 6), expected);
    EXPECT_TRUE(lines[6].startsWith("Свободно на диске: "));
    const QStringList rest = {
        "Версия liborvel.so: 2.7.13",
        "",
        "Количество устройств: 2",
        "",
        "******* УСТРОЙСТВО #1 *******",
        " Версия: 2.3",
        " Количество каналов: 5",
        " Количество согласователей: 2",
        "",
        "=== Согласователь #1 =====",
        "  Версия: 1.4",
        "  Серийный номер: 77",
        "  Состояние АЦП: Найдено",
        "  Состояние согласователя: OK",
        "  Напряжение 5V: 5.02",
        "  Напряжение 12V: 12.00",
        "",
        "=== Согласователь #2 =====",
        "  Версия: 2.0",
        "  Серийный номер: 78",
        "  Состояние АЦП: Ошибка",
        "  Состояние согласователя: Acknowledge_Timeout",
        "  Напряжение 5V: 4.98",
        "  Напряжение 12V: 11.94",
        "",
        "******* УСТРОЙСТВО #2 *******",
        " Версия: 1.1",
        " Количество каналов: 6",
        " Количество согласователей: 1",
        "",
        "=== Согласователь #1 =====",
        "  Версия: 0.0",
        "  Серийный номер: 0",
        "  Состояние АЦП: Иниц.",
        "  Состояние согласователя: 9",
        "  Напряжение 5V: 0.00",
        "  Напряжение 12V: 0.00",
        "",
        "",
    };
    EXPECT_EQ(lines.mid(7), rest);
}

TEST(SystemInfo, NoBoardNoVersionNoSystemFiles) {
    resetTexts();
    QTemporaryDir dir;
    test::FakeLineLibrary lib({});
    SystemInfoSources s;
    s.osRelease = dir.path() + "/missing";
    s.osReleaseFallback = dir.path() + "/missing2";
    s.cpuInfo = dir.path() + "/missing3";
    s.memInfo = dir.path() + "/missing4";
    SystemFacts f = gatherSystemFacts(dir.path(), &lib, s);
    f.diskSize.reset();
    const QString text = systemInfoText(f);
    EXPECT_EQ(text,
              "Операционная система: Ошибка\r\nПроцессор: \r\nФизическая память: 0 Mb.\r\n"
              "Свободно физ. памяти: 0 Mb.\r\nДиректория: " +
                  dir.path() + "\r\nКоличество устройств: 0\r\n\r\n");
    test::writeAll(dir.path() + "/missing", "ID=custom\n");
    EXPECT_EQ(osNameFromRelease(s), "Неизвестно");
    EXPECT_EQ(versionFromLibraryFile("/usr/lib/liborvel.so"), "");
    EXPECT_EQ(versionFromLibraryFile("/usr/lib/liborvel.so.0.1.0"), "0.1.0");
}

// A program directory with logs, settings and dumps two levels deep.
class ReportTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    BoardsLibrary lib;
    RecordingDialog dialog;
    QStringList information;
    QList<QList<int>> progress;
    int busyChanges = 0;
    DeveloperReportInputs in;
    DeveloperReportHooks hooks;

    QString path(const QString& name) const { return dir.path() + "/" + name; }

    void SetUp() override {
        resetTexts();
        QDir(dir.path()).mkpath("dump/Device0/Channel5");
        QDir(dir.path()).mkpath("dump/Device1/Channel0");
        test::writeAll(path("OrvelSys.log"), test::cp("Запуск программы\r\n"));
        test::writeAll(path("OrvelDll.log"), "InitDll\n");
        test::writeAll(path("ORVEL.ini"), "[ID_SETTINGS]\r\n");
        QByteArray samples;
        // Unsigned: the square passes the range of int long before the end.
        for (std::uint32_t i = 0; i < 200000; ++i)
            samples.append(char((i * i) >> 7));
        test::writeAll(path("dump/Device0/Channel5/0001_in.raw"), samples);
        test::writeAll(path("dump/Device1/Channel0/0002_out.raw"), "xyz");
        test::writeAll(path("Users.dbf"), "not part of the report");
        in.programDir = dir.path();
        in.systemLog = path("OrvelSys.log");
        in.libraryLog = path("OrvelDll.log");
        in.settingsFile = path("ORVEL.ini");
        in.library = &lib;
        in.sources = fakeSources(dir.path());
        hooks.dialog = &dialog;
        hooks.setBusy = [this](bool) { ++busyChanges; };
        hooks.progress = [this](int p, int m, const QString&) { progress.append({p, m}); };
        hooks.showInformation = [this](const QString& t) { information << t; };
    }

    // name, compression, size, sha1 per member.
    QList<QStringList> readBack(const QString& zip) {
        QProcess p;
        p.start("/usr/bin/python3", {QStringLiteral(ORVEL_TEST_DIAG_DIR "/read_zip.py"), zip});
        if (!p.waitForFinished(60000) || p.exitCode() != 0) {
            ADD_FAILURE() << "zipfile refused the archive: "
                          << p.readAllStandardError().toStdString();
            return {};
        }
        QList<QStringList> rows;
        for (const QString& l :
             QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts))
            rows << l.split('\t');
        return rows;
    }
    static QString sha1(const QByteArray& b) {
        return QCryptographicHash::hash(b, QCryptographicHash::Sha1).toHex();
    }
};

TEST_F(ReportTest, ArchiveHoldsTheFilesInOrderDeflatedWithTheirPaths) {
    EXPECT_EQ(CreateDeveloperReport(in, hooks), ReportOutcome::Kept);
    const QString zip = path("ORVELDevRep.zip");
    const auto rows = readBack(zip);
    ASSERT_EQ(rows.size(), 6);
    const QStringList names = {"SysInfo.txt",
                               "OrvelSys.log",
                               "OrvelDll.log",
                               "ORVEL.ini",
                               "dump/Device0/Channel5/0001_in.raw",
                               "dump/Device1/Channel0/0002_out.raw"};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(rows[i][0], names[i]);
        EXPECT_EQ(rows[i][1], "8") << "deflate";
        EXPECT_EQ(rows[i][3], sha1(test::readAll(path(names[i])))) << names[i].toStdString();
    }
    // Level 9 packs the dump well below its size.
    EXPECT_LT(QFile(zip).size(), 200000 / 2);

    const QByteArray sysInfo = test::readAll(path("SysInfo.txt"));
    EXPECT_EQ(cp1251::decode(sysInfo), information.value(0));
    EXPECT_TRUE(sysInfo.contains(test::cp("******* УСТРОЙСТВО #2 *******\r\n")));
    EXPECT_FALSE(sysInfo.contains('\0'));

    // Busy on and off once, the progress window ended, then the question.
    EXPECT_EQ(busyChanges, 2);
    ASSERT_FALSE(progress.isEmpty());
    EXPECT_EQ(progress.first(), (QList<int>{0, 100}));
    EXPECT_EQ(progress.last(), (QList<int>{0, 0}));
    ASSERT_EQ(dialog.shown.size(), 2);
    EXPECT_EQ(dialog.shown[0].text, "Отправить отчет разработчикам?");
    EXPECT_EQ(dialog.shown[0].buttons, mb::kYes | mb::kNo);
    EXPECT_EQ(dialog.shown[1].text, "Файл отчета: \"" + zip + "\"");
    EXPECT_EQ(dialog.shown[1].kind, kKindInformation);
}

TEST_F(ReportTest, ASecondReportReplacesTheFirstWhole) {
    ASSERT_EQ(CreateDeveloperReport(in, hooks), ReportOutcome::Kept);
    QDir(path("dump")).removeRecursively();
    QFile::remove(path("OrvelDll.log"));
    ASSERT_EQ(CreateDeveloperReport(in, hooks), ReportOutcome::Kept);
    const auto rows = readBack(path("ORVELDevRep.zip"));
    QStringList names;
    for (const auto& r : rows)
        names << r[0];
    EXPECT_EQ(names, (QStringList{"SysInfo.txt", "OrvelSys.log", "ORVEL.ini"}));
}

TEST_F(ReportTest, AnArchiveThatCannotBeMadeIsReportedAndNothingIsOffered) {
    QDir(dir.path()).mkpath("ORVELDevRep.zip/in-the-way");
    EXPECT_EQ(CreateDeveloperReport(in, hooks), ReportOutcome::Failed);
    ASSERT_EQ(dialog.shown.size(), 1);
    EXPECT_EQ(dialog.shown[0].text, "Исключительная ситуация при создании отчета!");
    EXPECT_EQ(dialog.shown[0].caption, "Ошибка");
    EXPECT_TRUE(information.isEmpty());
    EXPECT_EQ(busyChanges, 2);
    EXPECT_EQ(progress.last(), (QList<int>{0, 0}));
}

// A stand-in xdg-email on PATH records its arguments and exits with the code
// the test sets.
class MailTest : public ReportTest {
protected:
    QTemporaryDir bin;
    QByteArray oldPath;
    void SetUp() override {
        ReportTest::SetUp();
        const QString script = bin.path() + "/xdg-email";
        test::writeAll(script,
                       "#!/bin/sh\n"
                       "for a in \"$@\"; do printf '%s\\n--\\n' \"$a\"; done > \"$XDG_EMAIL_LOG\"\n"
                       "exit \"${XDG_EMAIL_EXIT:-0}\"\n");
        QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        oldPath = qgetenv("PATH");
        qputenv("PATH", bin.path().toLocal8Bit() + ":" + oldPath);
        qputenv("XDG_EMAIL_LOG", (bin.path() + "/args").toLocal8Bit());
    }
    void TearDown() override {
        qputenv("PATH", oldPath);
        qunsetenv("XDG_EMAIL_EXIT");
    }
    QStringList args() const {
        QStringList a = QString::fromUtf8(test::readAll(bin.path() + "/args")).split("\n--\n");
        if (!a.isEmpty() && a.last().isEmpty())
            a.removeLast();
        return a;
    }
};

TEST_F(MailTest, TheMailClientGetsSubjectBodyAndAttachment) {
    dialog.answer = mb::kResultYes;
    EXPECT_EQ(CreateDeveloperReport(in, hooks), ReportOutcome::Sent);
    const QStringList a = args();
    ASSERT_EQ(a.size(), 8);
    EXPECT_EQ(a[0], "--utf8");
    EXPECT_EQ(a[1], "--subject");
    EXPECT_EQ(a[2], "ORVEL. Отчет для разработчиков");
    EXPECT_EQ(a[3], "--body");
    EXPECT_EQ(a[4], information.value(0));
    EXPECT_TRUE(a[4].contains("Количество устройств: 2"));
    EXPECT_EQ(a[5], "--attach");
    EXPECT_EQ(a[6], path("ORVELDevRep.zip"));
    EXPECT_EQ(a[7], kSupportAddress);
    EXPECT_EQ(dialog.shown.size(), 1);  // the question only
}

TEST_F(MailTest, EveryExitCodeGivesItsText) {
    const QList<std::pair<int, QString>> cases = {
        {1, "One or more unspecified errors occurred. No message was sent"},
        {2, "The specified attachment was not found. No message was sent"},
        {3, "The user canceled one of the dialog boxes. No message was sent"},
        {4, "One or more unspecified errors occurred. No message was sent"},
        {5, "The specified attachment could not be opened. No message was sent"},
        {77, "One or more unspecified errors occurred. No message was sent"},
    };
    dialog.answer = mb::kResultYes;
    for (const auto& [exit, text] : cases) {
        SCOPED_TRACE(exit);
        qputenv("XDG_EMAIL_EXIT", QByteArray::number(exit));
        dialog.shown.clear();
        EXPECT_EQ(CreateDeveloperReport(in, hooks), ReportOutcome::SendFailed);
        ASSERT_EQ(dialog.shown.size(), 2);
        EXPECT_EQ(dialog.shown[1].text, "Ошибка отправки сообщения. " + text);
        EXPECT_EQ(dialog.shown[1].caption, "Внимание");
        EXPECT_EQ(dialog.shown[1].kind, kKindError);
    }
    // No xdg-email at all: as a missing mail system.
    qputenv("PATH", QByteArray("/nonexistent"));
    QString error;
    EXPECT_FALSE(SendMailWithAttachment("a", "b@c", "s", "", "n", &error));
    EXPECT_EQ(error, "The user canceled one of the dialog boxes. No message was sent");
    EXPECT_EQ(mailResultText(25),
              "One or more recipients were invalid or did not resolve to any address");
    EXPECT_EQ(mailResultText(4), "");
}

}  // namespace
