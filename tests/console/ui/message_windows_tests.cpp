// The recorder, the synthesis window and the window that deletes message
// files, driven as the operator would. Sound goes through SDL's disk audio
// driver; with ORVEL_SCREENSHOT_DIR set the windows are saved as pictures.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QtEndian>
#include <atomic>
#include <chrono>
#include <cmath>

#include "core/cp1251.h"
#include "core/safe_file.h"
#include "core/texts.h"
#include "diag/system_log.h"
#include "media/message_check.h"
#include "media/record_file.h"
#include "ui/files_delete_window.h"
#include "ui/recorder_window.h"
#include "ui/text_editor_window.h"
#include "ui/ui_test_support.h"

using namespace orvel;

namespace {

bool waitFor(const std::function<bool()>& done, int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        if (done())
            return true;
        QTest::qWait(20);
    }
    return done();
}

void screenshot(QWidget* w, const QString& name) {
    const QString dir = qEnvironmentVariable("ORVEL_SCREENSHOT_DIR");
    if (dir.isEmpty())
        return;
    QDir().mkpath(dir);
    EXPECT_TRUE(w->grab().save(dir + QLatin1Char('/') + name + QStringLiteral(".png")));
}

class MessageWindows : public ::testing::Test {
protected:
    void SetUp() override {
        test::app();
        ASSERT_TRUE(dir.isValid());
        qputenv("SDL_AUDIODRIVER", "disk");
        qputenv("SDL_DISKAUDIOFILE", QFile::encodeName(dir.filePath("out.raw")));
        // A spoken-like signal: a 400 Hz tone swelling and fading three
        // times a second, for three seconds. SDL 2.26 reads the default
        // capture device from this name in the current directory.
        QByteArray raw(16000 * 3 * 2, '\0');
        for (int n = 0; n < 16000 * 3; ++n) {
            const double env = 0.5 + 0.5 * std::sin(2 * M_PI * 3 * n / 16000.0);
            qToLittleEndian<qint16>(
                qint16(std::lround(12000 * env * std::sin(2 * M_PI * 400 * n / 16000.0))),
                raw.data() + 2 * n);
        }
        QFile in(dir.filePath("sdlaudio-in.raw"));
        ASSERT_TRUE(in.open(QIODevice::WriteOnly));
        in.write(raw);
        in.close();
        QDir::setCurrent(dir.path());
    }
    void TearDown() override {
        qunsetenv("ORVEL_DIALOG_ANSWER");
        QDir::setCurrent(QDir::tempPath());
    }
    QTemporaryDir dir;
};

}  // namespace

TEST_F(MessageWindows, RecorderRecordsPlaysBackAndSaves) {
    TWaveRecorder recorder(T(textConfirmMessage), dir.path(), "Confirm.dat");
    recorder.show();
    EXPECT_TRUE(recorder.saveFilter().contains("(*.dat)")) << "the proposed name's own filter";
    EXPECT_TRUE(recorder.recordButton()->isEnabled());
    EXPECT_FALSE(recorder.stopButton()->isEnabled());
    EXPECT_FALSE(recorder.playButton()->isEnabled());
    EXPECT_FALSE(recorder.saveButton()->isEnabled());

    QTest::mouseClick(recorder.recordButton(), Qt::LeftButton);
    EXPECT_TRUE(recorder.stopButton()->isEnabled());
    EXPECT_FALSE(recorder.recordButton()->isEnabled());
    ASSERT_TRUE(waitFor([&] { return recorder.display()->samples().size() == 800; }, 5000))
        << "the waveform shows the filled buffer";
    QTest::qWait(1200);
    QTest::mouseClick(recorder.stopButton(), Qt::LeftButton);
    EXPECT_TRUE(recorder.playButton()->isEnabled());
    EXPECT_TRUE(recorder.saveButton()->isEnabled());
    EXPECT_FALSE(recorder.saved());
    const qint64 size = QFile(recorder.tempFile()).size();
    EXPECT_GE(size, 58 + TWaveCapture::kBufferBytes * 2);
    EXPECT_EQ((size - 58) % TWaveCapture::kBufferBytes, 0);

    QTest::mouseClick(recorder.playButton(), Qt::LeftButton);
    ASSERT_EQ(recorder.player().StateName(), "Play") << recorder.player().ErrorText().toStdString();
    EXPECT_EQ(recorder.positionBar()->maximum(), int(recorder.player().Duration()));
    ASSERT_TRUE(waitFor([&] { return recorder.positionBar()->value() > 300; }, 5000));
    screenshot(&recorder, "recorder_playing");
    ASSERT_TRUE(waitFor(
        [&] { return recorder.positionBar()->value() == recorder.positionBar()->maximum(); },
        10000))
        << "the position bar reaches its end";
    EXPECT_EQ(recorder.player().StateName(), "Stop");
    QTest::mouseClick(recorder.stopButton(), Qt::LeftButton);

    // Closing asks to save the unsaved recording: Yes saves it.
    int asked = 0;
    const QString target = dir.filePath("Confirm.dat");
    recorder.askFileName = [&] {
        ++asked;
        return target;
    };
    qputenv("ORVEL_DIALOG_ANSWER", "6");
    recorder.close();
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(recorder.saved());
    EXPECT_TRUE(engineAcceptsMessage(target));
    EXPECT_EQ(QFile(target).size(), size);
    // Saved: closing again asks nothing.
    recorder.show();
    recorder.close();
    EXPECT_EQ(asked, 1);
}

TEST_F(MessageWindows, FailedTemporaryFileDisablesSave) {
    // A directory where wav.tmp should be: it cannot be created, and the
    // stale recording beside it must not be saved as the new message.
    const QString target = dir.filePath("target");
    ASSERT_TRUE(QDir().mkpath(target + "/wav.tmp"));
    qputenv("ORVEL_DIALOG_ANSWER", "1");
    TWaveRecorder recorder("Запись", target, QString());
    recorder.show();
    QTest::mouseClick(recorder.recordButton(), Qt::LeftButton);
    EXPECT_FALSE(recorder.statusLabel()->text().isEmpty()) << "the reason is shown";
    QTest::qWait(700);
    QTest::mouseClick(recorder.stopButton(), Qt::LeftButton);
    EXPECT_FALSE(recorder.saveButton()->isEnabled());
    EXPECT_FALSE(recorder.playButton()->isEnabled());
    EXPECT_TRUE(recorder.statusLabel()->text().startsWith(T(textTempFileFailed)));
    bool asked = false;
    recorder.askFileName = [&] {
        asked = true;
        return dir.filePath("x.wav");
    };
    EXPECT_FALSE(recorder.save());
    EXPECT_FALSE(asked);
    qputenv("ORVEL_DIALOG_ANSWER", "7");
    recorder.close();
}

TEST_F(MessageWindows, DiskFullWhileRecordingKeepsWhatWasRecordedAndSaysWhatIsMissing) {
    const QString target = dir.filePath("target");
    ASSERT_TRUE(QDir().mkpath(target));
    TWaveRecorder recorder("Запись", target, QString());
    const QString tmp = recorder.tempFile();
    QStringList reported;
    setWriteFailureReporter([&](const QString& p, const QString&) { reported << p; });
    std::atomic<bool> full{false};
    setWriteFaultHook([&](const QString& p) { return full && p == tmp; });
    recorder.show();
    QTest::mouseClick(recorder.recordButton(), Qt::LeftButton);
    // Two seconds reach the disk, then it is full.
    ASSERT_TRUE(
        waitFor([&] { return QFile(tmp).size() >= 58 + 4 * TWaveCapture::kBufferBytes; }, 8000));
    full = true;
    const qint64 written = QFile(tmp).size();
    QTest::qWait(1200);
    QTest::mouseClick(recorder.stopButton(), Qt::LeftButton);
    setWriteFaultHook(nullptr);
    setWriteFailureReporter(nullptr);

    EXPECT_EQ(reported, QStringList{tmp}) << "told once";
    EXPECT_EQ(QFile(tmp).size(), written) << "the part before the disk filled up stays";
    EXPECT_TRUE(engineAcceptsMessage(tmp)) << "under a header that describes it";
    EXPECT_TRUE(recorder.saveButton()->isEnabled());
    EXPECT_TRUE(recorder.statusLabel()->text().startsWith("Последние "))
        << recorder.statusLabel()->text().toStdString();
    QTest::qWait(100);  // let the layout take the new texts
    screenshot(&recorder, "recorder_disk_full");
    qputenv("ORVEL_DIALOG_ANSWER", "7");
    recorder.close();
}

TEST_F(MessageWindows, SynthesisWindowRecordsTheTextAsAMessage) {
    qputenv("SDL_AUDIODRIVER", "dummy");
    TTextEditor editor(dir.path());
    editor.show();
    EXPECT_EQ(editor.windowTitle(), "Синтез сообщения из текста");
    EXPECT_EQ(editor.plainText(), "Тестовое сообщение");
    ASSERT_GT(editor.voiceBox()->count(), 10);
    EXPECT_EQ(editor.params().voice, "zle/ru") << "the Russian voice is chosen";
    EXPECT_EQ(editor.attribute(1)->text(), "  Язык: ru");
    EXPECT_TRUE(editor.attribute(4)->text().startsWith("  Имя: "));
    EXPECT_EQ(editor.volumeBar()->value(), 50);
    EXPECT_EQ(editor.speedBar()->value(), 0);
    editor.speedBar()->setValue(-20);
    EXPECT_EQ(editor.params().rate, -10);
    editor.speedBar()->setValue(0);
    editor.editor()->setPlainText(
        "Уважаемый абонент! Сегодня в десять часов состоится учебная тревога. Для подтверждения "
        "нажмите девять.");
    screenshot(&editor, "synthesis");

    const QString rtf = dir.filePath("Текст.rtf");
    ASSERT_TRUE(editor.saveText(rtf));
    editor.editor()->clear();
    ASSERT_TRUE(editor.loadText(rtf));
    EXPECT_TRUE(editor.plainText().startsWith("Уважаемый абонент!"));

    const QString wav = dir.filePath("Тревога.wav");
    editor.askSoundFile = [&] { return wav; };
    ASSERT_TRUE(editor.recordSound());
    EXPECT_TRUE(engineAcceptsMessage(wav));
    EXPECT_TRUE(editor.levels()->text().startsWith("Пик "));

    // An empty text is refused before any file is asked for.
    editor.editor()->setHtml("<b> </b>");
    bool asked = false;
    editor.askSoundFile = [&] {
        asked = true;
        return wav;
    };
    qputenv("ORVEL_DIALOG_ANSWER", "1");
    EXPECT_FALSE(editor.recordSound());
    EXPECT_FALSE(asked);
}

TEST_F(MessageWindows, DeletingAMessageFileAsksAndLogs) {
    const QString messages = dir.filePath("Wav");
    QDir().mkpath(messages);
    for (const char* name : {"Тревога.wav", "ПОЖАР.WAV", "notes.txt"}) {
        QFile f(messages + "/" + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    systemLog().setPath(dir.filePath("OrvelSys.log"));
    TFilesDelForm form(messages, nullptr);
    ASSERT_EQ(form.list()->count(), 2);
    EXPECT_FALSE(form.deleteButton()->isEnabled());

    qputenv("ORVEL_DIALOG_ANSWER", "1");
    EXPECT_FALSE(form.deleteSelected()) << "nothing chosen";

    form.list()->setCurrentRow(1);  // "Тревога.wav" after "ПОЖАР.WAV"
    EXPECT_TRUE(form.deleteButton()->isEnabled());
    qputenv("ORVEL_DIALOG_ANSWER", "7");
    EXPECT_FALSE(form.deleteSelected());
    EXPECT_TRUE(QFile::exists(messages + "/Тревога.wav"));

    form.list()->setCurrentRow(1);
    qputenv("ORVEL_DIALOG_ANSWER", "6");
    EXPECT_TRUE(form.deleteSelected());
    EXPECT_FALSE(QFile::exists(messages + "/Тревога.wav"));
    EXPECT_EQ(form.list()->count(), 1);
    QFile log(dir.filePath("OrvelSys.log"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_TRUE(cp1251::decode(log.readAll()).contains("Тревога.wav"));
    systemLog().setPath(QString());
}
