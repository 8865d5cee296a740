#include "diag/mail_handover.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QProcess>
#include <QStandardPaths>
#include <array>
#include <utility>

namespace orvel {
namespace {

constexpr std::array<std::pair<int, const char*>, 14> kMailTexts = {{
    {0, "The call succeeded and the message was sent"},
    {1, "The user canceled one of the dialog boxes. No message was sent"},
    {2, "One or more unspecified errors occurred. No message was sent"},
    {3,
     "There was no default logon, and the user failed to log on successfully when the logon "
     "dialog box was displayed. No message was sent"},
    {5, "There was insufficient memory to proceed. No message was sent"},
    {9, "There were too many file attachments. No message was sent"},
    {10, "There were too many recipients. No message was sent"},
    {11, "The specified attachment was not found. No message was sent"},
    {12, "The specified attachment could not be opened. No message was sent"},
    {14, "A recipient did not appear in the address list. No message was sent"},
    {15, "The type of a recipient was not MAPI_TO, MAPI_CC, or MAPI_BCC. No message was sent"},
    {18, "The text in the message was too large. No message was sent"},
    {21,
     "A recipient matched more than one of the recipient descriptor structures and "
     "MAPI_DIALOG was not set. No message was sent"},
    {25, "One or more recipients were invalid or did not resolve to any address"},
}};

// xdg-email's documented exit codes.
constexpr int kXdgSuccess = 0;
constexpr int kXdgSyntaxError = 1;
constexpr int kXdgFileMissing = 2;
constexpr int kXdgToolMissing = 3;
constexpr int kXdgActionFailed = 4;
constexpr int kXdgNoPermission = 5;

// Mail codes.
constexpr int kMailSuccess = 0;
constexpr int kMailNoMailSystem = 1;  // also the code of a cancelled dialog
constexpr int kMailFailure = 2;
constexpr int kMailAttachmentNotFound = 11;
constexpr int kMailAttachmentWriteFailure = 12;

}  // namespace

QString mailResultText(int code) {
    for (const auto& [c, text] : kMailTexts) {
        if (c == code)
            return QString::fromLatin1(text);
    }
    return {};
}

int mailCodeFromXdgEmail(int exitCode) {
    switch (exitCode) {
        case kXdgSuccess:
            return kMailSuccess;
        case kMailToolMissing:
        case kXdgToolMissing:
            return kMailNoMailSystem;
        case kXdgFileMissing:
            return kMailAttachmentNotFound;
        case kXdgNoPermission:
            return kMailAttachmentWriteFailure;
        case kXdgSyntaxError:
        case kXdgActionFailed:
        default:
            return kMailFailure;
    }
}

bool SendMailWithAttachment(const QString& recipientName, const QString& recipientAddress,
                            const QString& subject, const QString& attachmentPath,
                            const QString& noteText, QString* errorText) {
    int code = kMailFailure;
    try {
        const QString tool = QStandardPaths::findExecutable(QStringLiteral("xdg-email"));
        if (tool.isEmpty()) {
            code = mailCodeFromXdgEmail(kMailToolMissing);
        } else {
            // The display name has no place on xdg-email's command line; the
            // address alone reaches the client.
            Q_UNUSED(recipientName);
            QStringList args{QStringLiteral("--utf8"), QStringLiteral("--subject"), subject,
                             QStringLiteral("--body"), noteText};
            if (!attachmentPath.isEmpty())
                args << QStringLiteral("--attach") << attachmentPath;
            args << recipientAddress;
            QProcess p;
            p.setProcessChannelMode(QProcess::ForwardedChannels);
            p.start(tool, args);
            if (!p.waitForStarted()) {
                code = mailCodeFromXdgEmail(kMailToolMissing);
            } else {
                // The client may keep xdg-email until its compose window
                // closes; the program's windows keep painting meanwhile.
                if (QCoreApplication::instance()) {
                    QEventLoop loop;
                    QObject::connect(&p, &QProcess::finished, &loop, &QEventLoop::quit);
                    if (p.state() != QProcess::NotRunning)
                        loop.exec(QEventLoop::ExcludeUserInputEvents);
                } else {
                    p.waitForFinished(-1);
                }
                code = p.exitStatus() == QProcess::NormalExit ? mailCodeFromXdgEmail(p.exitCode())
                                                              : kMailFailure;
            }
        }
    } catch (...) {
        if (errorText)
            errorText->clear();
        return false;
    }
    if (errorText)
        *errorText = code == kMailSuccess ? QString() : mailResultText(code);
    return code == kMailSuccess;
}

}  // namespace orvel
