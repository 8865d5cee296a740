#pragma once
// The developer report: the system information text written to
// "SysInfo.txt", the program's logs, settings and the line library's signal
// dumps packed into one archive, then the question whether to send it and the
// hand-over to the mail client. Widget-free: the window side comes in through
// the hooks.

#include <QString>
#include <functional>

#include "core/message_kinds.h"
#include "diag/system_info.h"

namespace orvel {

class ILineLibrary;

inline constexpr char kSysInfoFileName[] = "SysInfo.txt";
// Used when no branding supplies a contact.
inline constexpr char kSupportName[] = "ORVEL Support";
inline constexpr char kSupportAddress[] = "support@orvel.example";

struct DeveloperReportInputs {
    QString productWord = QStringLiteral("ORVEL");
    QString programDir;
    QString systemLog;
    QString libraryLog;
    QString settingsFile;
    ILineLibrary* library = nullptr;
    SystemInfoSources sources;
};

struct DeveloperReportHooks {
    // Wait cursor and the main window disabled (true), or back (false).
    std::function<void(bool busy)> setBusy;
    // The progress window (position, maximum, caption); 0, 0 ends it.
    std::function<void(int position, int maximum, const QString& text)> progress;
    // The system information in a plain message box.
    std::function<void(const QString& text)> showInformation;
    // The question and the result messages.
    IMessageDialog* dialog = nullptr;
    // The hand-over to the mail client (SendMailWithAttachment by default).
    std::function<bool(const QString& name, const QString& address, const QString& subject,
                       const QString& attachment, const QString& note, QString* error)>
        sendMail;
};

enum class ReportOutcome {
    Failed,      // the text or the archive could not be made; error shown
    Sent,        // the mail client took the message
    SendFailed,  // the mail client refused; its text shown
    Kept,        // the operator chose not to send; the archive's path shown
};

// The archive's name: product word + "DevRep.zip".
QString developerReportArchiveName(const QString& productWord);

ReportOutcome CreateDeveloperReport(const DeveloperReportInputs& in,
                                    const DeveloperReportHooks& hooks);

}  // namespace orvel
