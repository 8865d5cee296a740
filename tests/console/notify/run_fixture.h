#pragma once
// A run over a scripted library, a hand-moved clock and a real subscriber
// table in a temporary directory.

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "data/user_list.h"
#include "diag/line_state_log.h"
#include "fake_line_library.h"
#include "notify/notify_lines.h"
#include "notify/notify_run.h"

namespace orvel::test {

struct RecordingObserver : IRunObserver {
    std::atomic<int> ended{0};
    std::vector<int> failures;
    QString summary;
    void runEnded() override { ++ended; }
    void engineFailure(int state) override { failures.push_back(state); }
    void summaryChanged(const QString& t) override { summary = t; }
};

class RunFixture : public ::testing::Test {
protected:
    explicit RunFixture(std::vector<int> boards = {4})
        : lib(std::move(boards)),
          clock(QDateTime(QDate(2026, 12, 8), QTime(12, 0, 0))),
          run(lib, lines, users, clock, &lineLog) {}

    void SetUp() override {
        ASSERT_TRUE(users.open(dir.path(), 0));
        lib.clock = [this] { return clock.now().toMSecsSinceEpoch(); };
        ProgramStateRecord r;
        lib.GetProgrammState(r);
        lines.Create(r);
        lineLog.setProgramDir(dir.path());
        run.settings().programDir = dir.path();
        run.setObserver(&observer);
    }

    TUserListItem& add(const QString& name, const QString& phone, bool mark = true) {
        TUserListItem it;
        it.id = users.NextId();
        it.name.assign(name);
        it.phone.assign(phone);
        it.mark = mark ? 1 : 0;
        users.AddItem(it);
        TUserListItem& added = *users.Item(users.Count() - 1);
        added.mark = mark ? 1 : 0;
        return added;
    }

    void begin() {
        run.resetRunFields();
        run.assignLines();
        run.beginRun();
    }
    // One pass and the pause after it.
    void pass(int ms = 200) {
        run.RunPass();
        clock.advance(ms);
    }
    int passesUntilFinished(int limit = 10000) {
        int n = 0;
        while (!run.finished() && n < limit) {
            pass();
            ++n;
        }
        return n;
    }

    QTemporaryDir dir;
    FakeLineLibrary lib;
    TManualClock clock;
    TUserList users;
    TORVLines lines;
    TLineStateLog lineLog;
    RecordingObserver observer;
    TNotifyRun run;
};

}  // namespace orvel::test
