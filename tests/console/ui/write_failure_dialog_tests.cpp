// A file the program cannot write is told in the message dialog, from the
// run thread too, once until the file is written again.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <thread>

#include "core/safe_file.h"
#include "notify/run_progress.h"
#include "test_support.h"
#include "ui/ui_test_support.h"
#include "ui/write_failure_dialog.h"

namespace orvel::test {
namespace {

// The dialogs of the test, answered at once: their texts go to the
// standard error, caught here in a file.
class CaughtDialogs {
public:
    CaughtDialogs() {
        std::fflush(stderr);
        saved_ = ::dup(2);
        std::FILE* f = std::fopen(path().toLocal8Bit().constData(), "w");
        ::dup2(::fileno(f), 2);
        std::fclose(f);
        qputenv("ORVEL_DIALOG_ANSWER", "1");
    }
    ~CaughtDialogs() { restore(); }
    QString text() {
        restore();
        return QString::fromUtf8(readAll(path()));
    }

private:
    QString path() const { return dir_.path() + "/stderr.txt"; }
    void restore() {
        if (saved_ < 0)
            return;
        std::fflush(stderr);
        ::dup2(saved_, 2);
        ::close(saved_);
        saved_ = -1;
        qunsetenv("ORVEL_DIALOG_ANSWER");
    }
    QTemporaryDir dir_;
    int saved_ = -1;
};

TEST(WriteFailureDialog, FailedSaveOnTheRunThreadIsShownOnceInTheDialog) {
    app();
    installWriteFailureDialog();
    QTemporaryDir dir;
    const QString path = progressPath(dir.path());
    setWriteFaultHook([&](const QString& p) { return p == path; });
    CaughtDialogs dialogs;
    std::thread runThread([&] {
        for (int i = 0; i < 3; ++i)
            EXPECT_FALSE(saveProgress(path, TRunProgress{}));
    });
    runThread.join();
    QTest::qWait(50);  // the queued dialog
    setWriteFaultHook(nullptr);
    setWriteFailureReporter(nullptr);
    const QString shown = dialogs.text();
    EXPECT_EQ(shown.count("Файл не записан: " + path), 1) << shown.toStdString();
    EXPECT_TRUE(shown.contains("Прежнее содержимое файла сохранено")) << shown.toStdString();
}

}  // namespace
}  // namespace orvel::test
