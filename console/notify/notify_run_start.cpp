// Starting and stopping a run, and resetting the list for a repeated run.

#include <QFile>
#include <QFileInfo>

#include "core/file_names.h"
#include "core/settings_manager.h"
#include "core/texts.h"
#include "data/user_list.h"
#include "diag/system_log.h"
#include "notify/notify_run.h"

namespace orvel {

namespace {
constexpr int kMainMessage = 1;
constexpr int kConfirmMessage = 2;
}  // namespace

void readRunSwitches(const SettingsManager& settings, TRunSettings& s) {
    s.abonentConfirmation = settings.readBool(SID_ABONENT_CONFIRMATION, true);
    s.keepDroppedLines = settings.readBool(SID_USER_DROP_LINES, true);
    s.attemptPauseMs = settings.readInt(SID_ATTEMPT_PAUSE, 0);
}

TStartOutcome TNotifyRun::StartRun() {
    WriteSystemLog(T(textAlarmStarted), 3);
    const QString excl = QStringLiteral("!");
    const auto fail = [&](StartError e, const QString& dialog, const QString& log) {
        WriteSystemLog(log, 2);
        return TStartOutcome{e, dialog};
    };
    resetRunFields();
    queue_ = std::make_unique<TResultQueue>();

    const QString confirm = findFileNoCase(settings_.programDir, QStringLiteral("Confirm.dat"));
    if (!QFileInfo::exists(confirm)) {
        const QString nf = T(textFileNotFound).toLower();
        return fail(StartError::ConfirmMissing,
                    QStringLiteral("\"CONFIRM.DAT\"  - ") + nf + QStringLiteral("! ") +
                        T(textCannotContinueRun) + excl,
                    QStringLiteral("\"CONFIRM.DAT\" - ") + nf);
    }
    WriteSystemLog(T(textMessageFileLoad) + QStringLiteral(" \"") + settings_.messageFile +
                       QStringLiteral("\""),
                   0);
    if (lib_.LoadSoundFile(QFile::encodeName(settings_.messageFile).toStdString(), kMainMessage) !=
        0) {
        const QString text = T(textErrorMessageFileLoad) + excl + QStringLiteral("\n\"") +
                             settings_.messageFile + QStringLiteral("\"");
        return fail(StartError::MessageLoad, text, text);
    }
    WriteSystemLog(T(textConfirmFileLoad) + QStringLiteral(" \"") + confirm + QStringLiteral("\""),
                   0);
    if (lib_.LoadConfirmFile(QFile::encodeName(confirm).toStdString(), kConfirmMessage) != 0)
        return fail(StartError::ConfirmLoad, T(textErrorConfirmFileLoad) + excl,
                    T(textErrorConfirmFileLoad));
    WriteSystemLog(QStringLiteral("Start DLL"), 0);
    if (lib_.StartDll() != 0)
        return fail(StartError::StartDll, T(textErrorAlarmProcessStart) + excl,
                    T(textErrorAlarmProcessStart));
    WriteSystemLog(QStringLiteral("Get program state"), 0);
    ProgramStateRecord record{};
    lib_.GetProgrammState(record);
    for (int tries = 0; record[1] != uint32_t(kStateStarted) && tries < settings_.stateWaitTries;
         ++tries) {
        clock_.sleep(100, stop_);
        lib_.GetProgrammState(record);
    }
    if (record[1] != uint32_t(kStateStarted))
        return fail(StartError::NotStarted,
                    T(textDriverLoadError) + QStringLiteral("! ") + T(textCannotContinueRun) + excl,
                    T(textDriverLoadError));
    WriteSystemLog(QStringLiteral("Set confirmation mode"), 0);
    lib_.SetConfirmOn(settings_.abonentConfirmation ? -1 : 0);

    assignLines();
    if (!settings_.dumpFile.isEmpty() && QFileInfo::exists(settings_.dumpFile) && dumpLoader_)
        dumpLoader_(settings_.dumpFile);

    if (observer_)
        observer_->summaryChanged(summary());
    TResultQueue::install(queue_.get());
    lib_.setNotifyResultCallback(&TResultQueue::callback);
    callbackSet_ = true;
    if (thread_.joinable())
        thread_.join();  // the previous run's thread has already ended
    stop_.reset();
    finished_ = false;
    operatorStop_ = false;
    threadRunning_ = true;
    thread_ = std::thread([this] { threadMain(); });
    return {};
}

void TNotifyRun::resetRunFields() {
    std::lock_guard lock(fieldsMutex_);
    floor_ = 0;
    total_ = 0;
    if (!queue_)
        queue_ = std::make_unique<TResultQueue>();
    for (int i = 0; i < users_.Count(); ++i) {
        TUserListItem* s = users_.Item(i);
        if (s->mark) {
            s->inCall = 0;
            ++total_;
        }
    }
}

void TNotifyRun::assignLines() {
    std::lock_guard lock(fieldsMutex_);
    for (int i = 0; i < lines_.Count(); ++i) {
        TORVELLine& l = *lines_.Items(i);
        l.Subscriber = nullptr;
        l.ResultBooked = false;
        l.State = 0;
        if (l.Enabled == 1)
            l.Assign(lib_);
        WriteSystemLog(QStringLiteral("Set time param for Line ") + QString::number(i + 1), 0);
        lib_.SetTimeParam(uint32_t(l.Board), uint32_t(l.Channel), l.TimeParams);
        const int gain = store_ ? store_->readIndexedInt(SID_ARU_LEVEL_VALUE, i + 1, 3) : 3;
        lib_.SetSensLevel(uint32_t(l.Board), uint32_t(l.Channel), uint32_t(qBound(0, gain, 7)));
        l.Row.status.clear();
        l.Row.number.clear();
        l.Row.name.clear();
        l.LastDialString.clear();
        if (observer_)
            observer_->lineRowChanged(i, l.Row);
    }
}

void TNotifyRun::StopThread() {
    if (callbackSet_) {
        lib_.setNotifyResultCallback(nullptr);
        TResultQueue::install(nullptr);
        callbackSet_ = false;
    }
    finished_ = true;
    stop_.stop();
    if (thread_.joinable())
        thread_.join();
}

void TNotifyRun::StopRun() {
    const bool active = thread_.joinable() || queue_ != nullptr;
    StopThread();
    if (!active)
        return;
    WriteSystemLog(T(textAlarmClosing), 3);
    queue_.reset();
    lib_.StopDll();
}

int TNotifyRun::notNotifiedCount() const {
    int n = 0;
    for (int k = 0; k < users_.Count(); ++k) {
        const TUserListItem& s = *users_.Item(k);
        if (s.mark && s.lastState != kStatusNotified)
            ++n;
    }
    return n;
}

void TNotifyRun::prepareRepeat() {
    std::lock_guard lock(fieldsMutex_);
    for (int k = 0; k < users_.Count(); ++k) {
        TUserListItem& s = *users_.Item(k);
        if (!s.mark)
            continue;
        if (s.lastState == kStatusNotified) {
            s.mark = 0;
        } else {
            s.lastState = 0;
            s.attempts = 0;
            s.flags |= kFlagRepeated;
        }
    }
    users_.ClearRunFields();
}

}  // namespace orvel
