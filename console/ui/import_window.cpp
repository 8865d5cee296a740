#include "ui/import_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "core/settings_manager.h"
#include "core/texts.h"
#include "data/user_list.h"
#include "ui/message_dialog.h"
#include "ui/progress_window.h"

namespace orvel {
namespace {

// How often the chosen file is looked for (it may appear or go away while
// the window is open).
constexpr int kFileWatchMs = 500;

QString allowedPhoneChars() {
    return QStringLiteral("\"0\"-\"9\", \"-\", \",\", \"w\", \"*\"");
}

}  // namespace

QStringList importFilters() {
    return {T(textExcelFilter), T(textTextWinFilter), T(textTextDosFilter), T(textCsvFilter)};
}

TImportForm::TImportForm(TUserList& list, SettingsManager& settings, QWidget* parent)
    : QDialog(parent), list_(list), settings_(settings) {
    setObjectName(QStringLiteral("fImport"));
    setWindowTitle(T(textImportRecords));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setModal(true);

    auto* warning = new QLabel(T(textFieldOrderWarning), this);
    warning->setWordWrap(true);
    fields_ = new QListWidget(this);
    fields_->setSelectionMode(QAbstractItemView::NoSelection);
    fields_->setFocusPolicy(Qt::NoFocus);
    fillFieldList();

    file_ = new QLineEdit(this);
    file_->setObjectName(QStringLiteral("importFile"));
    auto* browse = new QPushButton(T(textBrowse), this);
    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(file_, 1);
    fileRow->addWidget(browse);
    kind_ = new QComboBox(this);
    kind_->addItems(importFilters());
    kind_->setCurrentIndex(int(ImportKind::TextWin) - 1);

    separatorPanel_ = new QWidget(this);
    separator_ = new QComboBox(separatorPanel_);
    separator_->setEditable(true);
    separator_->addItems({T(textSpace), T(textTab)});
    separator_->setCurrentIndex(1);
    repeated_ = new QCheckBox(T(textRepeatSeparator), separatorPanel_);
    repeated_->setChecked(true);
    auto* sepLayout = new QHBoxLayout(separatorPanel_);
    sepLayout->setContentsMargins(0, 0, 0, 0);
    sepLayout->addWidget(separator_, 1);
    sepLayout->addWidget(repeated_);

    form_ = new QFormLayout;
    form_->addRow(T(textSourceFile) + QLatin1Char(':'), fileRow);
    form_->addRow(T(textFileKind) + QLatin1Char(':'), kind_);
    // The separator row is shown for text files only.
    form_->addRow(T(textFieldSeparator) + QLatin1Char(':'), separatorPanel_);

    apply_ = new QPushButton(T(textApply), this);
    cancel_ = new QPushButton(T(textCancelia), this);
    apply_->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(apply_);
    buttons->addWidget(cancel_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(warning);
    layout->addWidget(fields_, 1);
    layout->addLayout(form_);
    layout->addLayout(buttons);
    resize(560, 460);

    file_->setText(settings_.readString(SID_IMPORT_DIR, QString()));
    watch_ = new QTimer(this);
    watch_->start(kFileWatchMs);
    connect(watch_, &QTimer::timeout, this, &TImportForm::updateState);
    connect(file_, &QLineEdit::textChanged, this, &TImportForm::updateState);
    connect(kind_, &QComboBox::currentIndexChanged, this, &TImportForm::updateState);
    connect(browse, &QPushButton::clicked, this, &TImportForm::browse);
    connect(apply_, &QPushButton::clicked, this, &TImportForm::apply);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    updateState();
}

void TImportForm::fillFieldList() {
    fields_->clear();
    QFont bold = fields_->font();
    bold.setBold(true);
    const TColumnList& columns = list_.columns();
    for (int i = 0; i < columns.Count(); ++i) {
        QString line = QString::number(i + 1) + QStringLiteral(". ") + columns.Item(i).name;
        if (i == 1) {
            line += QStringLiteral(" (") + T(textAllowedSymbols).toLower() + QStringLiteral(": ") +
                    allowedPhoneChars() + QLatin1Char(')');
        } else if (i == 2) {
            line += QStringLiteral(" (") + T(textHoursMinutesForExample) +
                    QStringLiteral(" 00:00-23:59)");
        } else if (i == 3) {
            line += QStringLiteral(" (") + T(textNumberFrom).toLower() + QStringLiteral(" 1 ") +
                    T(textNumberTo) + QStringLiteral(" 12)");
        }
        auto* item = new QListWidgetItem(line, fields_);
        item->setFont(bold);
        item->setFlags(Qt::ItemIsEnabled);
    }
}

ImportOptions TImportForm::options() const {
    ImportOptions o;
    o.kind = ImportKind(kind_->currentIndex() + 1);
    const QString sep = separator_->currentText();
    if (sep == T(textSpace))
        o.separator = QStringLiteral(" ");
    else if (sep == T(textTab))
        o.separator = QStringLiteral("\t");
    else
        o.separator = sep;
    o.repeatedSeparator = repeated_->isChecked();
    return o;
}

void TImportForm::browse() {
    QString filter = importFilters().value(kind_->currentIndex());
    const QString start = file_->text().isEmpty() ? QString() : QFileInfo(file_->text()).path();
    const QString chosen = QFileDialog::getOpenFileName(
        this, T(textImportRecords), start, importFilters().join(QStringLiteral(";;")), &filter);
    if (chosen.isEmpty())
        return;
    const int index = importFilters().indexOf(filter);
    if (index >= 0)
        kind_->setCurrentIndex(index);
    file_->setText(chosen);
}

void TImportForm::updateState() {
    form_->setRowVisible(separatorPanel_, kind_->currentIndex() + 1 != int(ImportKind::Workbook));
    const QFileInfo fi(file_->text());
    apply_->setEnabled(!file_->text().isEmpty() && fi.isFile());
}

void TImportForm::apply() {
    const QString path = file_->text();
    if (!QFileInfo(path).isFile()) {
        ShowMessageDialog(T(textSpecifiedFileNotFound) + QLatin1Char('!'), T(textWarning), mb::kOk,
                          kKindWarning);
        return;
    }
    if (runInProgress && runInProgress()) {
        ShowMessageDialog(T(textBaseLockedDuringRun) + QLatin1Char('!'), T(textWarning), mb::kOk,
                          kKindWarning);
        return;
    }
    const ImportOptions o = options();
    if (o.kind != ImportKind::Workbook && o.separator.isEmpty()) {
        ShowMessageDialog(T(textNoSeparator) + QLatin1Char('!'), T(textWarning), mb::kOk,
                          kKindWarning);
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const ImportTable table = readImportSource(path, o);
    if (!table.error.isEmpty() || table.rows.empty()) {
        QApplication::restoreOverrideCursor();
        if (!table.error.isEmpty())
            ShowMessageDialog(table.error + QLatin1Char('!'), T(textError), mb::kOk, kKindError);
        else
            ShowMessageDialog(T(textNothingToImport) + QLatin1Char('!'), T(textWarning), mb::kOk,
                              kKindWarning);
        return;
    }
    const QString caption = T(textImportRecords) + QStringLiteral("...");
    const ImportOutcome out = importRows(list_, table, [&caption](int position, int maximum) {
        ShowProgress(position, maximum, caption);
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    });
    ShowProgress(0, 0);
    QApplication::restoreOverrideCursor();
    if (out.added > 0 && onImported)
        onImported();

    QString summary = T(textImportedRecords) + QStringLiteral(": ") + QString::number(out.added);
    if (out.withoutDialDigits > 0) {
        summary += QStringLiteral(".\n") + T(textPhonesWithoutDigits) + QStringLiteral(": ") +
                   QString::number(out.withoutDialDigits);
    }
    if (!out.error.isEmpty()) {
        ShowMessageDialog(out.error + QStringLiteral("!\n") + summary, T(textError), mb::kOk,
                          kKindError);
        return;
    }
    ShowMessageDialog(summary + QLatin1Char('.'), T(textInformation), mb::kOk,
                      out.withoutDialDigits > 0 ? kKindWarning : kKindInformation);
    accept();
}

void TImportForm::done(int result) {
    settings_.WriteSetting(SID_IMPORT_DIR, file_->text());
    QDialog::done(result);
}

}  // namespace orvel
