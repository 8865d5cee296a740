// What orvel-run prints about its lines and its throughput, over the
// scripted line library: in the program's words, with lines counted from 1.

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <algorithm>

#include "core/texts.h"
#include "notify/demo_setup.h"
#include "notify/fake_line_library.h"
#include "notify/line_status.h"
#include "notify/notify_scheme.h"
#include "runner/run_session.h"

namespace orvel::test {
namespace {

TEST(RunnerOutput, UnservedLinesAndThroughputAreReportedInRussian) {
    resetTexts();
    QTemporaryDir tmp;
    QString error;
    ASSERT_TRUE(prepareDemoDirectory(tmp.path(), &error)) << error.toStdString();
    const QString schemeFile = tmp.path() + "/NotifyScheme/" + kDemoScheme + ".sch";
    TNotifyScheme scheme = *TNotifyScheme::load(schemeFile);
    scheme.attempts = 1;  // one round is enough to print everything
    ASSERT_TRUE(scheme.save(schemeFile));
    // An older library with one board of 18 lines: channels 12..17 cannot
    // be served.
    FakeLineLibrary lib({18});
    lib.shortReport = true;
    lib.defaultResult = kStatusBusy;
    lib.callPolls = 1;
    TSessionOptions o;
    o.programDir = tmp.path();
    o.scheme = kDemoScheme;
    o.quiet = true;
    QString text;
    QTextStream out(&text);
    const int rc = runSession(o, lib, out, [] { return false; });
    out.flush();
    EXPECT_TRUE(rc == kExitAllNotified || rc == kExitSomeNotNotified) << text.toStdString();
    const int subscribers = int(demoSubscribers().size());
    EXPECT_EQ(int(lib.calls.size()), subscribers);
    const QStringList lines = text.split('\n');
    // Board 1's channels 13..18 on screen, one warning each.
    EXPECT_TRUE(lines.contains(T(textRunLineNotServed).arg("плата 1, канал 13")))
        << text.toStdString();
    EXPECT_TRUE(lines.contains(T(textRunLineNotServed).arg("плата 1, канал 18")))
        << text.toStdString();
    EXPECT_EQ(text.count(T(textRunLineNotServed).section('(', 0, 0)), 6);
    EXPECT_TRUE(text.contains(T(textRunLinesAndSubscribers).arg(12).arg(subscribers)))
        << text.toStdString();
    // The closing throughput line, with no English left in it.
    const auto it = std::find_if(lines.begin(), lines.end(), [](const QString& l) {
        return l.startsWith(QString("Вызовов: "));
    });
    ASSERT_NE(it, lines.end()) << text.toStdString();
    EXPECT_TRUE(it->startsWith(T(textRunCalls).arg(lib.calls.size()))) << it->toStdString();
    EXPECT_TRUE(it->contains("процессорное время")) << it->toStdString();
    EXPECT_TRUE(it->contains(" с на линию")) << it->toStdString();
    for (const char* english : {"calls", "per hour", "processor", "warning", "cannot"})
        EXPECT_FALSE(text.contains(english)) << english << ": " << text.toStdString();
}

TEST(RunnerOutput, AnUnobtainableNumberIsNamedSoAndNotCalledAgain) {
    resetTexts();
    QTemporaryDir tmp;
    QString error;
    ASSERT_TRUE(prepareDemoDirectory(tmp.path(), &error)) << error.toStdString();
    FakeLineLibrary lib({12});
    lib.defaultResult = kStatusBusy;  // every other number is retried
    lib.plan["108"] = kStatusUnobtainable;
    TSessionOptions o;
    o.programDir = tmp.path();
    o.scheme = kDemoScheme;  // two attempts
    QString text;
    QTextStream out(&text);
    runSession(o, lib, out, [] { return false; });
    out.flush();
    EXPECT_EQ(lib.callsTo("108"), 1);
    EXPECT_EQ(lib.callsTo("105"), 2);
    const QStringList lines = text.split('\n');
    const auto finished = std::count_if(lines.begin(), lines.end(), [](const QString& l) {
        return l.contains(QStringLiteral("Жуков Захар: Номер не существует"));
    });
    EXPECT_EQ(finished, 1) << text.toStdString();
}

}  // namespace
}  // namespace orvel::test
