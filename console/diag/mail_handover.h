#pragma once
// Handing a message with an attachment to the desktop's mail client through
// `xdg-email`: the client shows the message, and the operator sends or
// discards it there. Results are told with the codes and texts of the
// simple mail interface the program always reported.

#include <QString>

namespace orvel {

// The text of a mail result code; empty for a code without one.
QString mailResultText(int code);

// The mail result code of an `xdg-email` exit code. A missing tool counts as
// a missing mail system (1).
int mailCodeFromXdgEmail(int exitCode);
inline constexpr int kMailToolMissing = -1;  // `xdg-email` could not be started

// True when the mail client took the message; otherwise false with the
// result's text in `errorText`.
bool SendMailWithAttachment(const QString& recipientName, const QString& recipientAddress,
                            const QString& subject, const QString& attachmentPath,
                            const QString& noteText, QString* errorText);

}  // namespace orvel
