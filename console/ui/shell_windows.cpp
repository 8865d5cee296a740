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

TSaveAbonentsList::TSaveAbonentsList(QWidget* parent)
    : TShellWindow(QStringLiteral("SaveAbonentsList"), T(textSaveGroup), parent) {}

TLoadAbonentsList::TLoadAbonentsList(QWidget* parent)
    : TShellWindow(QStringLiteral("LoadAbonentsList"), T(textLoadGroup), parent) {}

TAru::TAru(QWidget* parent) : TShellWindow(QStringLiteral("Aru"), T(textInputBoost), parent) {}

}  // namespace orvel
