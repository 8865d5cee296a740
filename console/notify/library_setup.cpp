#include "notify/library_setup.h"

#include <QFile>
#include <QRegularExpression>

#include "core/cp1251.h"
#include "core/settings_manager.h"
#include "core/texts.h"
#include "diag/system_log.h"
#include "notify/notify_lines.h"

namespace orvel {

namespace {
constexpr int kStateWaitTries = 21;
constexpr int kStateWaitMs = 500;
}  // namespace

QString unservedLinesLogText(const QStringList& lines) {
    QStringList texts;
    for (const QString& l : lines)
        texts << unservedLineText(l);
    const QString head = T(textUnservedLines) + QStringLiteral(": ");
    const QString all = head + texts.join(QStringLiteral("; "));
    return all.size() <= kSystemLogMaxMessage ? all : head + QString::number(lines.size());
}

TLibrarySetup setUpLineLibrary(ILineLibrary& lib, const QString& programDir,
                               const QString& libraryLogPath, const SettingsManager& settings,
                               TORVLines& lines, const std::function<void(int)>& sleepMs) {
    TLibrarySetup out;
    ProgramStateRecord record{};
    try {
        if (lib.InitDll(QFile::encodeName(programDir).toStdString()) != 0) {
            out.initFailed = true;
            out.errors << T(textManagingProcessError) + QStringLiteral("!");
        }
        lib.GetProgrammState(record);
        for (int i = 0; record[1] == uint32_t(kStateInitialising) && i < kStateWaitTries; ++i) {
            sleepMs(kStateWaitMs);
            lib.GetProgrammState(record);
        }
        out.state = int(record[1]);
        out.ready = out.state == kStateReady;
        const QString cannot = T(textCannotContinueWorkWithDevice) + QStringLiteral("!");
        if (!out.ready) {
            if (out.state == kStateInitialising)
                out.errors << T(textDeviceInInitialization) + QStringLiteral("!\n") + cannot;
            else if (out.state == kStateNoBoard)
                out.errors << T(textInitializationError) + QStringLiteral("! \n") + cannot;
            else
                out.errors << T(textUnknownInitializationError) + QStringLiteral(" ORVEL. \n") +
                                  cannot;
        }
        if (settings.readBool(SID_LOG_SYSTEM, false))
            lib.logEnable(QFile::encodeName(libraryLogPath).toStdString(), -1);
    } catch (...) {
    }
    lines.Create(record, &out.unreachable, lib.lineStateCoverage());
    lines.loadSettings(settings);
    applyLineParameters(lib, settings, lines);
    if (!out.unreachable.isEmpty())
        WriteSystemLog(unservedLinesLogText(out.unreachable), 2);
    return out;
}

void applyLineParameters(ILineLibrary& lib, const SettingsManager& settings, TORVLines& lines) {
    const int advanced = settings.readBool(SID_DETECT_DTMF_AFTER_CONFIRMATION, false) ? 1 : 0;
    const int dump = settings.readBool(SID_DEBUG_DUMP, false) ? 1 : 0;
    for (int i = 0; i < lines.Count(); ++i) {
        TORVELLine& l = *lines.Items(i);
        const auto b = uint32_t(l.Board), c = uint32_t(l.Channel);
        lib.setLineDropMode(b, c, uint32_t(l.DropMode));
        try {
            lib.SetDtmfLevel(b, c, uint32_t(l.TimeParams.DTMFAmplitude));
            lib.setLineType(b, c, uint32_t(l.LineType));
            lib.AdvancedDtmfConfirmOn(advanced);
            lib.dumpEnable(dump);
        } catch (...) {
        }
    }
}

}  // namespace orvel
