// Message texts as rich-text files, and the level check of messages.

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <cmath>
#include <vector>

#include "media/message_levels.h"
#include "media/rtf_text.h"
#include "media/sound_errors.h"

using namespace orvel;

namespace {

std::vector<int16_t> sine(double amplitude, int count) {
    std::vector<int16_t> s(static_cast<size_t>(count));
    for (int n = 0; n < count; ++n)
        s[size_t(n)] = int16_t(std::lround(
            std::clamp(amplitude * std::sin(2 * M_PI * 440 * n / 16000.0), -32768.0, 32767.0)));
    return s;
}

QString plain(const QByteArray& rtf) {
    QString error;
    auto text = rtfToPlainText(rtf, &error);
    EXPECT_TRUE(text.has_value()) << error.toStdString();
    return text.value_or(QString());
}

}  // namespace

TEST(RtfText, WrittenTextReadsBackUnchanged) {
    const QString text =
        QStringLiteral("Внимание! Сбор в 9:00 {зал №2}\\корпус \"Б\".\n\tЁлки — 100 %\nΑλφα ✓ 😀");
    const QByteArray rtf = plainTextToRtf(text);
    EXPECT_TRUE(rtf.startsWith("{\\rtf1\\ansi\\ansicpg1251"));
    EXPECT_TRUE(rtf.contains("\\'c2\\'ed\\'e8\\'ec\\'e0\\'ed\\'e8\\'e5")) << "Windows-1251 bytes";
    EXPECT_TRUE(rtf.contains("\\u913?")) << "Greek is outside the code page";
    for (char c : rtf)
        ASSERT_LT(uint8_t(c), 0x80) << "the file is 7-bit";
    EXPECT_EQ(plain(rtf), text);

    QTemporaryDir dir;
    QString error;
    ASSERT_TRUE(saveRtfFile(dir.filePath("m.rtf"), text, &error)) << error.toStdString();
    EXPECT_EQ(loadRtfFile(dir.filePath("m.rtf"), &error).value_or(QString()), text);
}

TEST(RtfText, ReaderKeepsOnlyTheTextOfAWordProcessorFile) {
    const QByteArray rtf =
        "{\\rtf1\\ansi\\ansicpg1251\\deff0\\nouicompat\\deflang1049"
        "{\\fonttbl{\\f0\\fnil\\fcharset204 Calibri;}{\\f1\\fnil Symbol;}}\r\n"
        "{\\colortbl ;\\red255\\green0\\blue0;}\r\n"
        "{\\*\\generator Riched20 10.0.19041}\\viewkind4\\uc1 \r\n"
        "\\pard\\sa200\\sl276\\slmult1\\cf1\\b\\f0\\fs22\\'cf\\'f0\\'e8\\'e2\\'e5\\'f2\\cf0\\b0 ,"
        " \\u1084?\\u1080?\\u1088?!\\par\r\n"
        "{\\pict\\wmetafile8 0123456789abcdef}"
        "\\uc2 \\u8364\\'80\\'80 \\uc0\\u8470 1\\tab x\\line y\\~z\\emdash\\par\r\n}";
    EXPECT_EQ(plain(rtf), QStringLiteral("Привет, мир!\n€ №1\tx\ny\u00A0z—"));
}

TEST(RtfText, HostileFilesGiveAClearErrorOrWhatTheyHold) {
    QString error;
    EXPECT_FALSE(rtfToPlainText("plain text", &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(rtfToPlainText("", &error));

    QByteArray deep = "{\\rtf1 ";
    for (int i = 0; i < 100000; ++i)
        deep.append('{');
    EXPECT_FALSE(rtfToPlainText(deep, &error));
    EXPECT_TRUE(error.contains("вложенность")) << error.toStdString();

    // Cut short, bad escapes, huge parameters, an unpaired brace.
    EXPECT_EQ(plain("{\\rtf1 Text \\'e1\\'fb"), QStringLiteral("Text бы"));
    EXPECT_EQ(plain("{\\rtf1 a\\'zzb\\'4"), "azzb4");
    EXPECT_EQ(plain("{\\rtf1 \\u99999999999999999999 ?x\\fs-99999999999999999999 y}"), "xy");
    EXPECT_EQ(plain("{\\rtf1 \\u-1?a\\uc99 \\u65?b}"), "aAb");
    // Text after the document's end is ignored.
    EXPECT_EQ(plain("{\\rtf1 a}} trailing"), "a");

    QTemporaryDir dir;
    QFile big(dir.filePath("big.rtf"));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly));
    big.resize(kMaxRtfBytes + 1);
    big.close();
    EXPECT_FALSE(loadRtfFile(big.fileName(), &error));
    EXPECT_FALSE(loadRtfFile(dir.filePath("absent.rtf"), &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST(MessageLevels, ClippedQuietAndFitMessagesAreToldApart) {
    const auto fit = sine(0.25 * 32768, 16000);  // about -15 dBFS average
    const TMessageLevels ok = measureLevels(fit.data(), fit.size());
    EXPECT_NEAR(ok.peakDb, -12.04, 0.1);
    EXPECT_NEAR(ok.rmsDb, -15.05, 0.1);
    EXPECT_FALSE(ok.clipped());
    EXPECT_FALSE(ok.tooQuiet());
    EXPECT_TRUE(ok.warning().isEmpty());
    EXPECT_TRUE(ok.text().contains(QStringLiteral("−12,0 дБ"))) << ok.text().toStdString();

    const auto loud = sine(3 * 32768, 16000);
    const TMessageLevels hot = measureLevels(loud.data(), loud.size());
    EXPECT_TRUE(hot.clipped());
    EXPECT_TRUE(hot.warning().contains(QStringLiteral("громко")));

    // Exactly 0.1 % at full scale is still the odd click.
    std::vector<int16_t> clicks(100000, 3000);
    for (int i = 0; i < 100; ++i)
        clicks[size_t(i * 1000)] = 32767;
    EXPECT_FALSE(measureLevels(clicks.data(), clicks.size()).clipped());
    clicks[1] = -32768;
    EXPECT_TRUE(measureLevels(clicks.data(), clicks.size()).clipped());

    const auto soft = sine(0.02 * 32768, 16000);  // about -37 dBFS
    const TMessageLevels quiet = measureLevels(soft.data(), soft.size());
    EXPECT_TRUE(quiet.tooQuiet());
    EXPECT_TRUE(quiet.warning().contains(QStringLiteral("тихое")));

    const TMessageLevels none = measureLevels(nullptr, 0);
    EXPECT_FALSE(none.warning().isEmpty());
}

TEST(SoundErrors, DeviceFailuresAreToldInRussianWithTheReason) {
    const QString busy = soundDeviceError(
        SoundDevice::Input, "ALSA: Couldn't open audio device: Device or resource busy");
    EXPECT_EQ(busy, QStringLiteral("Не удалось открыть устройство записи звука: устройство "
                                   "занято другой программой"));
    EXPECT_EQ(soundDeviceError(SoundDevice::Output, "No available audio device"),
              QStringLiteral("Не удалось открыть устройство вывода звука: в системе нет "
                             "звукового устройства"));
    EXPECT_TRUE(soundErrorReason("Something odd").contains("Something odd"));
    EXPECT_TRUE(soundErrorReason("Something odd").startsWith(QStringLiteral("ошибка")));
}
