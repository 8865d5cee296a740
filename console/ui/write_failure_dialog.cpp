#include "ui/write_failure_dialog.h"

#include <QCoreApplication>

#include "core/message_kinds.h"
#include "core/safe_file.h"
#include "core/texts.h"
#include "ui/message_dialog.h"

namespace orvel {

void installWriteFailureDialog() {
    setWriteFailureReporter([](const QString& path, const QString& error) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [path, error] {
                ShowMessageDialog(T(textFileNotSaved).arg(path, error), T(textError), mb::kOk,
                                  kKindError);
            },
            Qt::QueuedConnection);
    });
}

}  // namespace orvel
