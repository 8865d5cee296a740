#include "ui/shell_windows.h"

#include "core/texts.h"
#include "ui/language_apply.h"

namespace orvel {

TShellWindow::TShellWindow(const QString& objectName, const QString& caption, QWidget* parent)
    : QDialog(parent) {
    setObjectName(objectName);
    setWindowTitle(caption);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
}

void TShellWindow::showEvent(QShowEvent* event) {
    applyLanguage(this);
    QDialog::showEvent(event);
}

}  // namespace orvel
