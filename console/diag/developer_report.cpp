#include "diag/developer_report.h"

#include <QDir>
#include <QFile>
#include <stdexcept>

#include "core/cp1251.h"
#include "core/file_names.h"
#include "core/safe_file.h"
#include "core/texts.h"
#include "diag/mail_handover.h"
#include "diag/report_archive.h"

namespace orvel {
namespace {

constexpr int kPercent = 100;

// Written aside and renamed, so a report cut short never leaves half a text.
bool writeSysInfo(const QString& path, const QString& text) {
    return writeFileSafely(path, cp1251::encode(text));
}

}  // namespace

QString developerReportArchiveName(const QString& productWord) {
    return productWord + QStringLiteral("DevRep.zip");
}

ReportOutcome CreateDeveloperReport(const DeveloperReportInputs& in,
                                    const DeveloperReportHooks& hooks) {
    auto busy = [&](bool on) {
        if (hooks.setBusy)
            hooks.setBusy(on);
    };
    auto progress = [&](int position, int maximum, const QString& text) {
        if (hooks.progress)
            hooks.progress(position, maximum, text);
    };
    const QString zipPath =
        QDir(in.programDir).filePath(developerReportArchiveName(in.productWord));
    QString info;
    busy(true);
    try {
        info = systemInfoText(gatherSystemFacts(in.programDir, in.library, in.sources));
        const QString sysInfoPath = findFileNoCase(in.programDir, QLatin1String(kSysInfoFileName));
        // A text that cannot be written is left out of the archive.
        const bool written = writeSysInfo(sysInfoPath, info);
        const QString caption = T(textReportCreation) + QStringLiteral("...");
        progress(0, kPercent, caption);
        QString error;
        const bool packed = writeReportArchive(
            zipPath,
            reportArchiveEntries(in.programDir, written ? sysInfoPath : QString(), in.systemLog,
                                 in.libraryLog, in.settingsFile),
            [&](double share) {
                progress(std::min(kPercent - 1, int(share * kPercent)), kPercent, caption);
            },
            &error);
        if (!packed)
            throw std::runtime_error(error.toStdString());
    } catch (...) {
        busy(false);
        progress(0, 0, QString());
        if (hooks.dialog) {
            hooks.dialog->show(T(textExceptionInReport) + QLatin1Char('!'), T(textError), mb::kOk,
                               kKindError);
        }
        return ReportOutcome::Failed;
    }
    busy(false);
    progress(0, 0, QString());

    ReportOutcome outcome = ReportOutcome::Kept;
    try {
        if (hooks.showInformation)
            hooks.showInformation(info);
        const int answer =
            hooks.dialog ? hooks.dialog->show(T(textSendReportToDevelopers) + QLatin1Char('?'),
                                              T(textWarning), mb::kYes | mb::kNo, kKindConfirmation)
                         : mb::kResultNo;
        if (answer == mb::kResultYes) {
            const QString subject = in.productWord + QStringLiteral(". ") + T(textDevelopersReport);
            QString error;
            const auto send = hooks.sendMail ? hooks.sendMail : SendMailWithAttachment;
            if (send(QString::fromLatin1(kSupportName), QString::fromLatin1(kSupportAddress),
                     subject, zipPath, info, &error)) {
                outcome = ReportOutcome::Sent;
            } else {
                outcome = ReportOutcome::SendFailed;
                if (hooks.dialog) {
                    hooks.dialog->show(T(textReportSendingError) + QStringLiteral(". ") + error,
                                       T(textWarning), mb::kOk, kKindError);
                }
            }
        } else if (hooks.dialog) {
            hooks.dialog->show(T(textReportFile) + QStringLiteral(": \"") +
                                   QDir::toNativeSeparators(zipPath) + QLatin1Char('"'),
                               T(textWarning), mb::kOk, kKindInformation);
        }
    } catch (...) {
        // What follows the report's making is only telling; the report stands.
    }
    return outcome;
}

}  // namespace orvel
