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

TNotifyStatus::TNotifyStatus(QWidget* parent)
    : TShellWindow(QStringLiteral("NotifyStatus"), T(textAnnouncementState), parent) {}

TSaveAbonentsList::TSaveAbonentsList(QWidget* parent)
    : TShellWindow(QStringLiteral("SaveAbonentsList"), T(textSaveGroup), parent) {}

TLoadAbonentsList::TLoadAbonentsList(QWidget* parent)
    : TShellWindow(QStringLiteral("LoadAbonentsList"), T(textLoadGroup), parent) {}

TNotifyParam::TNotifyParam(QWidget* parent)
    : TShellWindow(QStringLiteral("fNotifyParam"), T(textAlarmOptions2), parent) {}

TAru::TAru(QWidget* parent) : TShellWindow(QStringLiteral("Aru"), T(textInputBoost), parent) {}

}  // namespace orvel
