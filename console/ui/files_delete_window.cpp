#include "ui/files_delete_window.h"

#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/settings_manager.h"
#include "core/texts.h"
#include "diag/system_log.h"
#include "ui/message_dialog.h"
#include "ui/window_placement.h"

namespace orvel {

namespace {

const QString kFormSizes = QStringLiteral("FORMSIZES");

}  // namespace

TFilesDelForm::TFilesDelForm(const QString& directory, SettingsManager* settings, QWidget* parent)
    : QDialog(parent), directory_(directory), settings_(settings) {
    setObjectName(QStringLiteral("FilesDelForm"));
    setWindowTitle(T(textFilesDeleting));
    list_ = new QListWidget(this);
    delete_ = new QPushButton(T(textDelete), this);
    close_ = new QPushButton(T(textClose), this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(delete_);
    buttons->addStretch();
    buttons->addWidget(close_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_, 1);
    layout->addLayout(buttons);
    connect(list_, &QListWidget::itemSelectionChanged, this,
            [this] { delete_->setEnabled(!list_->selectedItems().isEmpty()); });
    connect(delete_, &QPushButton::clicked, this, [this] { deleteSelected(); });
    connect(close_, &QPushButton::clicked, this, &QWidget::close);
    resize(360, 320);
    if (settings_ != nullptr)
        RestoreFormPlacement(this, *settings_, kFormSizes, kPlaceSize);
    refresh();
}

void TFilesDelForm::refresh() {
    list_->clear();
    QDir dir(directory_);
    // Masks match without regard to case, as on the operators' old systems.
    dir.setFilter(QDir::Files);
    dir.setSorting(QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo& f : dir.entryInfoList()) {
        if (f.suffix().compare(QLatin1String("wav"), Qt::CaseInsensitive) == 0)
            list_->addItem(f.fileName());
    }
    delete_->setEnabled(false);
}

bool TFilesDelForm::deleteSelected() {
    const QList<QListWidgetItem*> chosen = list_->selectedItems();
    if (chosen.isEmpty()) {
        ShowMessageDialog(T(textNeedToChooseFile) + QLatin1Char('!'), T(textWarning), mb::kOk,
                          kKindWarning);
        return false;
    }
    if (ShowMessageDialog(T(textDeleteFileQuery) + QLatin1Char('?'), T(textConfirmation),
                          mb::kYes | mb::kNo, kKindWarning) != mb::kResultYes)
        return false;
    const QString path = QDir(directory_).absoluteFilePath(chosen.first()->text());
    QFile file(path);
    const bool ok = file.remove();
    if (ok) {
        WriteSystemLog(T(textMessageFileDeleting) + QStringLiteral(" - ") + path, 2);
    } else {
        ShowMessageDialog(T(textFileDeleteError) + QStringLiteral("!\n") + file.errorString(),
                          T(textError), mb::kOk, kKindError);
    }
    refresh();
    return ok;
}

void TFilesDelForm::closeEvent(QCloseEvent* event) {
    if (settings_ != nullptr)
        SaveFormPlacement(this, *settings_, kFormSizes, kPlaceSize);
    event->accept();
}

void DeleteMessages(QWidget* parent, const QString& directory, SettingsManager* settings) {
    TFilesDelForm form(directory, settings, parent);
    form.exec();
}

}  // namespace orvel
