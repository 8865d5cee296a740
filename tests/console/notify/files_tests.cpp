// Scheme records and state dumps: byte-exact round trips and hostile files.

#include <gtest/gtest.h>

#include <QDir>

#include <QFileInfo>
#include <QTemporaryDir>
#include <cstring>

#include "core/texts.h"
#include "data/user_list.h"
#include "notify/demo_setup.h"
#include "notify/notify_scheme.h"
#include "notify/scheme_shortcut.h"
#include "notify/state_dump.h"
#include "notify/wav_format.h"
#include "test_support.h"

namespace orvel::test {
namespace {

TEST(SchemeRecord, RoundTripIsByteExact) {
    TNotifyScheme s;
    s.messageFile = "/opt/orvel/Сообщения/тревога.wav";
    s.attempts = 7;
    s.pause = 0.5f;
    for (int g = 0; g < 50; ++g)
        s.groups << QString("Группа %1").arg(g);
    s.sortIndex = 3;
    s.timeLimit = 125;
    const QByteArray bytes = s.toBytes();
    ASSERT_EQ(bytes.size(), 13328);
    EXPECT_EQ(uint8_t(bytes[0]), cp(s.messageFile).size());
    EXPECT_EQ(bytes.mid(512, 4), QByteArray("\x07\0\0\0", 4));
    const TNotifyScheme back = TNotifyScheme::fromBytes(bytes);
    EXPECT_EQ(back.messageFile, s.messageFile);
    EXPECT_EQ(back.groups.size(), 50);
    EXPECT_EQ(back.toBytes(), bytes);

    QTemporaryDir dir;
    const QString path = dir.path() + "/Ночь.sch.sch";
    ASSERT_TRUE(s.save(path));
    EXPECT_EQ(readAll(path), bytes);
    EXPECT_EQ(schemeName(path), "Ночь.sch");
}

TEST(SchemeRecord, HostileAndShortRecordsAreReadSafelyAndClamped) {
    QByteArray r(13328, '\xFF');
    TNotifyScheme s = TNotifyScheme::fromBytes(r);
    EXPECT_EQ(s.messageFile.size(), 254);  // length 255 cut to the field
    EXPECT_EQ(s.attempts, 1);              // -1 clamped
    EXPECT_EQ(s.pause, 0.0f);              // NaN
    EXPECT_EQ(s.sortIndex, 0);
    EXPECT_EQ(s.timeLimit, 300);
    EXPECT_EQ(s.groups.size(), 50);

    QByteArray big(13328, '\0');
    const float pause = 1e9f;
    std::memcpy(big.data() + 516, &pause, 4);
    big[520] = 2;
    big[521] = '.';
    big[522] = '.';  // ".." would leave the group directory
    big[520 + 256] = 3;
    std::memcpy(big.data() + 521 + 256, "a/b", 3);
    big[520 + 512] = 1;
    big[521 + 512] = 'x';
    s = TNotifyScheme::fromBytes(big);
    EXPECT_EQ(s.pause, 240.0f);
    EXPECT_EQ(s.groups, QStringList{"x"});

    s =
        TNotifyScheme::fromBytes(QByteArray("\x03"
                                            "abc",
                                            4));
    EXPECT_EQ(s.messageFile, "abc");
    EXPECT_EQ(s.attempts, 1);
    EXPECT_TRUE(s.groups.isEmpty());
}

// A message inside the program directory is stored relative to it, so the
// directory can be moved with its schemes; one outside stays absolute; both
// read back whole, and a relative path written with "\\" reads as well.
TEST(SchemeRecord, MessagePathIsStoredRelativeToTheProgramDirectory) {
    QTemporaryDir a;
    const QString program = a.path() + "/prog";
    ASSERT_TRUE(QDir().mkpath(program + "/WavMessages"));
    TNotifyScheme s;
    s.messageFile = program + "/WavMessages/Тревога.wav";
    ASSERT_TRUE(s.save(program + "/x.sch", program));
    // Stored: length byte, then the relative path.
    const QByteArray stored = test::readAll(program + "/x.sch");
    EXPECT_EQ(TNotifyScheme::fromBytes(stored).messageFile, "WavMessages/Тревога.wav");
    EXPECT_EQ(TNotifyScheme::load(program + "/x.sch", program)->messageFile, s.messageFile);
    // The directory moved: the scheme finds the message in its new place.
    ASSERT_TRUE(QDir().rename(program, a.path() + "/moved"));
    EXPECT_EQ(TNotifyScheme::load(a.path() + "/moved/x.sch", a.path() + "/moved")->messageFile,
              a.path() + "/moved/WavMessages/Тревога.wav");

    TNotifyScheme outside;
    outside.messageFile = "/srv/messages/m.wav";
    ASSERT_TRUE(outside.save(a.path() + "/o.sch", a.path() + "/moved"));
    EXPECT_EQ(TNotifyScheme::load(a.path() + "/o.sch", a.path() + "/moved")->messageFile,
              "/srv/messages/m.wav");
    // A directory whose name begins like the program directory is outside it.
    EXPECT_EQ(storedMessagePath(a.path() + "/moved2/m.wav", a.path() + "/moved"),
              a.path() + "/moved2/m.wav");
    EXPECT_EQ(resolvedMessagePath("WavMessages\\m.wav", "/opt/orvel"),
              "/opt/orvel/WavMessages/m.wav");
    EXPECT_EQ(resolvedMessagePath("", "/opt/orvel"), "");
}

TEST(SchemeRecord, TimeLimitCaptions) {
    resetTexts();
    EXPECT_EQ(timeLimitCaption(0), "Не ограничено");
    EXPECT_EQ(timeLimitCaption(45), "45 мин.");
    EXPECT_EQ(timeLimitCaption(125), "2 ч.  5 мин.");
}

TEST(SchemeShortcut, DesktopEntryQuotesTheSchemeParameter) {
    resetTexts();
    const QString e =
        schemeDesktopEntry("/opt/orvel/orvel", "/srv/orvel", "Ночь \"А\" $x", "Запуск оповещения");
    EXPECT_TRUE(e.startsWith("[Desktop Entry]\nType=Application\n"));
    EXPECT_TRUE(e.contains("\nName=Оповещение 'Ночь \"А\" $x'\n"));
    // "\" + name inside double quotes, every special character escaped, then
    // every backslash doubled for the key.
    EXPECT_TRUE(e.contains(R"(Exec="/opt/orvel/orvel" "\\\\Ночь \\"А\\" \\$x")"))
        << e.toStdString();
    EXPECT_TRUE(e.contains("\nPath=/srv/orvel\n"));
    QTemporaryDir dir;
    QString path;
    ASSERT_TRUE(writeSchemeShortcut(dir.path(), "/opt/orvel/orvel", "/srv", "a/b", &path));
    EXPECT_TRUE(path.endsWith("/Оповещение 'a_b'.desktop"));
    EXPECT_TRUE(QFileInfo(path).isExecutable());
}

TEST(MessageFormat, OnlySixteenBitMonoAt16kHzPassesWithoutWarning) {
    resetTexts();
    QTemporaryDir dir;
    const QString good = dir.path() + "/good.wav";
    ASSERT_TRUE(writeAll(good, chimeWav(100)));
    const auto f = readWavFormat(good);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->rate, 16000);
    EXPECT_TRUE(wavFormatWarning(f).isEmpty());
    QByteArray stereo = chimeWav(100);
    stereo[22] = 2;
    stereo[24] = char(0x40);  // 8000 Hz
    stereo[25] = char(0x1F);
    ASSERT_TRUE(writeAll(dir.path() + "/s.wav", stereo));
    EXPECT_EQ(wavFormatWarning(readWavFormat(dir.path() + "/s.wav")),
              "Формат файла (8000Hz, 16bit, Стерео) не может быть использован для оповещения. "
              "Используйте формат (16000Hz, 16bit, Моно)");
    ASSERT_TRUE(writeAll(dir.path() + "/bad.wav", "RIFF\xff\xff\xff\xffWAVEdata\xff\xff\xff\x7f"));
    EXPECT_FALSE(readWavFormat(dir.path() + "/bad.wav"));
    EXPECT_TRUE(wavFormatWarning(std::nullopt).endsWith(") Wav"));
}

class DumpTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(list.open(dir.path(), 0)); }
    void add(const QString& name, const QString& phone, bool mark) {
        TUserListItem it;
        it.id = list.NextId();
        it.name.assign(name);
        it.phone.assign(phone);
        list.AddItem(it);
        list.Item(list.Count() - 1)->mark = mark;
    }
    QTemporaryDir dir;
    TUserList list;
};

TEST_F(DumpTest, RestoresPositionallyAndRoundTripsByteExact) {
    add("Очень длинное имя абонента номер один", "8 (812) 555-12-34 доб. 99", true);
    add("B", "2", true);
    add("C", "3", true);
    add("D", "4", false);
    for (int k = 0; k < 3; ++k) {
        list.Item(k)->attempts = k + 1;
        list.Item(k)->lastState = 14 + k;
    }
    const QString path = dir.path() + "/a.onsd";
    ASSERT_TRUE(SaveStateDump(path, list));
    const QByteArray bytes = readAll(path);
    ASSERT_EQ(bytes.size(), 3 * 66);
    EXPECT_EQ(bytes.mid(64, 2), QByteArray("\r\n"));
    EXPECT_EQ(bytes[31], '\0');  // the long name is cut to 31 characters

    list.ClearRunFields();
    ASSERT_TRUE(LoadStateDump(path, list));
    EXPECT_EQ(list.Item(0)->attempts, 1);
    EXPECT_EQ(list.Item(2)->lastState, 16);
    ASSERT_TRUE(SaveStateDump(path, list));
    EXPECT_EQ(readAll(path), bytes);

    // A fourth row marked first: the values shift by one row.
    list.ClearRunFields();
    list.Item(3)->mark = 1;
    std::swap(*list.Item(0), *list.Item(3));
    ASSERT_TRUE(LoadStateDump(path, list));
    EXPECT_EQ(list.Item(0)->attempts, 1);
    EXPECT_EQ(list.Item(1)->attempts, 2);
    EXPECT_EQ(list.Item(3)->attempts, 0);  // no record left for it
}

TEST_F(DumpTest, HostileDumpIsReadSafely) {
    add("A", "1", true);
    add("B", "2", true);
    QByteArray r(66, '\xEE');  // no terminating zero anywhere
    r += QByteArray(30, 'x');  // a torn second record
    const QString path = dir.path() + "/h.onsd";
    ASSERT_TRUE(writeAll(path, r));
    EXPECT_TRUE(LoadStateDump(path, list));
    EXPECT_EQ(list.Item(0)->attempts, 0);  // no row has those texts
    const TDumpRecord d = TDumpRecord::fromBytes(r.constData());
    EXPECT_EQ(d.first.size(), 32);
    EXPECT_EQ(d.second.size(), 24);
    EXPECT_FALSE(LoadStateDump(dir.path() + "/missing.onsd", list));
}

}  // namespace
}  // namespace orvel::test
