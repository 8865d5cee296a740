// The main window's commands: record editing, marking, sorting, search,
// number replacement, duplicates and the small windows of the menus.

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QTableView>
#include <QUrl>

#include "core/texts.h"
#include "data/user_group.h"
#include "data/user_list.h"
#include "data/user_list_ops.h"
#include "notify/line_library.h"
#include "ui/find_user.h"
#include "ui/info_windows.h"
#include "ui/list_columns.h"
#include "ui/main_window.h"
#include "ui/message_dialog.h"
#include "ui/numbers_change.h"
#include "ui/program_context.h"
#include "ui/progress_window.h"
#include "ui/record_panel.h"
#include "ui/user_list_model.h"

namespace orvel {
namespace {

const QString kQuestion = QStringLiteral("?");

// The wait cursor for as long as the object lives.
struct WaitCursor {
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};

}  // namespace

bool TForm1::mayChangeList() const {
    // A run holds references into the list: nothing may move or vanish.
    return idle_ && !(runInProgress && runInProgress());
}

bool TForm1::askConfirmation(const QString& text, const QString& caption) {
    if (!ctx_.settings.readBool(SID_NOT_CONFIRM_EDIT_ABONLIST, true))
        return true;
    return ShowMessageDialog(text, caption, mb::kYes | mb::kNo, kKindConfirmation) ==
           mb::kResultYes;
}

void TForm1::newRecord() {
    if (!ctx_.rights.has(OperatorRight::ChangeBase) || !mayChangeList() ||
        record_->mode() != TfrRecordInterface::kViewing) {
        return;
    }
    // A new record is the duplicate of an empty one.
    record_->clearValues();
    duplicateRecord();
}

void TForm1::duplicateRecord() {
    if (!ctx_.rights.has(OperatorRight::ChangeBase) || !mayChangeList() ||
        record_->mode() != TfrRecordInterface::kViewing) {
        return;
    }
    record_->setGroupText(QString());
    record_->setGroupVisible(!ctx_.users.hasGroupFilter());
    editKind_ = 1;
    editRows_.clear();
    record_->setMode(TfrRecordInterface::kEditOne);
    updateCommands();
    record_->nameEdit()->setFocus();
}

void TForm1::changeRecord() {
    if (!ctx_.rights.has(OperatorRight::ChangeBase) || !mayChangeList() ||
        record_->mode() != TfrRecordInterface::kViewing) {
        return;
    }
    const QList<int> rows = selectedRows();
    if (rows.isEmpty()) {
        ShowMessageDialog(T(textNoAbonentSelected) + QLatin1Char('!'), T(textWarning), mb::kOk,
                          kKindWarning);
        return;
    }
    int focused = list_->currentIndex().row();
    if (!rows.contains(focused))
        focused = rows.first();
    const TUserListItem* it = ctx_.users.Item(focused);
    if (!it)
        return;
    if (record_->shownName() != it->name.toString())
        record_->showValues(valuesFromItem(*it));
    record_->setGroupText(groups_ ? groups_->FindGroupOf(it->id) : QString());
    record_->setGroupVisible(groups_ != nullptr);
    editKind_ = 2;
    editRows_ = rows;
    record_->setMode(rows.size() == 1 ? TfrRecordInterface::kEditOne
                                      : TfrRecordInterface::kEditSeveral);
    record_->recordBaseline();
    updateCommands();
}

void TForm1::cancelEdit() {
    record_->setMode(TfrRecordInterface::kViewing);
    record_->setGroupVisible(false);
    editKind_ = 0;
    editRows_.clear();
    onSelectionChanged();
}

bool TForm1::applyEdit() {
    if (record_->mode() == TfrRecordInterface::kViewing || !record_->canApply())
        return false;
    if (!mayChangeList()) {
        cancelEdit();
        return false;
    }
    const RecordEditorValues values = record_->values();
    if (editKind_ == 1 || editRows_.size() <= 1) {
        const int except = editKind_ == 2 ? editRows_.value(0, -1) : -1;
        if (existsWithNameAndPhone(ctx_.users, values.name,
                                   joinPhone(values.prefix, values.number), except)) {
            ShowMessageDialog(T(textAbonentExists) + QLatin1Char('!'), T(textInformation), mb::kOk,
                              kKindInformation);
            return false;
        }
    }
    if (!askConfirmation(T(textMakeChanges) + kQuestion, T(textConfirmation))) {
        cancelEdit();
        return false;
    }
    const RecordEditBaseline baseline = record_->baseline();
    record_->setMode(TfrRecordInterface::kViewing);
    bool ok = true;
    int focus = -1;
    if (editKind_ == 2) {
        ok = orvel::applyEdit(ctx_.users, groups_, editRows_, values, baseline);
        for (int row : editRows_)
            model_->refreshRow(row);
        focus = list_->currentIndex().row();
    } else {
        focus = applyNew(ctx_.users, groups_, values);
        ok = focus >= 0;
        model_->reload();
    }
    if (!ok) {
        ShowMessageDialog(T(textError) + QStringLiteral(": ") + ctx_.users.tablePath(),
                          T(textError), mb::kOk, kKindError);
    }
    const bool added = editKind_ == 1;
    editKind_ = 0;
    editRows_.clear();
    record_->setGroupVisible(false);
    if (added && focus >= 0)
        selectOnly(focus);
    onSelectionChanged();
    list_->setFocus();
    return ok;
}

void TForm1::deleteRecords() {
    if (!mayChangeList() || record_->mode() != TfrRecordInterface::kViewing)
        return;
    const QList<int> rows = selectedRows();
    if (rows.isEmpty())
        return;
    if (!askConfirmation(T(textDeleteAbonents) + kQuestion, T(textDelete) + kQuestion))
        return;
    // Without the right the operator is stopped here, without a word.
    if (!ctx_.rights.has(OperatorRight::ChangeBase))
        return;
    {
        WaitCursor wait;
        const QString text = T(textDeleteProcess) + QStringLiteral("...");
        deleteRows(ctx_.users, groups_, rows, [&text](int p, int m) { ShowProgress(p, m, text); });
    }
    model_->reload();
    list_->clearSelection();
    onSelectionChanged();
}

void TForm1::selectAll() {
    if (record_->mode() != TfrRecordInterface::kViewing)
        return;
    WaitCursor wait;
    {
        const QSignalBlocker block(list_->selectionModel());
        list_->selectAll();
    }
    list_->viewport()->update();
    onSelectionChanged();
}

void TForm1::setMarks(bool marked) {
    if (model_->locked())
        return;
    for (int row : selectedRows()) {
        if (TUserListItem* it = ctx_.users.Item(row))
            it->mark = marked ? 1 : 0;
    }
    list_->viewport()->update();
}

void TForm1::toggleMark(int row) {
    if (model_->locked())
        return;
    if (TUserListItem* it = ctx_.users.Item(row)) {
        it->mark = it->mark ? 0 : 1;
        model_->refreshRow(row);
    }
}

void TForm1::sortByColumn(int column) {
    if (!mayChangeList() || column < 0 || column >= model_->columnCount())
        return;
    if (arrows_.size() != model_->columnCount())
        arrows_ = QList<int>(model_->columnCount(), -1);
    const int image = arrows_[column] == 0 ? 1 : 0;
    arrows_.fill(-1);
    arrows_[column] = image;
    {
        WaitCursor wait;
        ctx_.users.SortBy(false, column + 1, image == 1 ? 1 : -1);
    }
    QHeaderView* header = list_->horizontalHeader();
    header->setSortIndicatorShown(true);
    header->setSortIndicator(column, image == 1 ? Qt::DescendingOrder : Qt::AscendingOrder);
    sortCaption_ = model_->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
    model_->reload();
    onSelectionChanged();
}

void TForm1::groupSelected() {
    if (!mayChangeList())
        return;
    {
        WaitCursor wait;
        ctx_.users.SortBy(true, 1, 1);
    }
    arrows_.fill(-1);
    list_->horizontalHeader()->setSortIndicatorShown(false);
    sortCaption_ = T(textMarked);
    model_->reload();
    list_->scrollToTop();
    onSelectionChanged();
}

void TForm1::arrangeColumns() {
    QHeaderView* header = list_->horizontalHeader();
    QList<int> widths;
    for (int c = 0; c < header->count(); ++c)
        widths << header->sectionSize(c);
    const QList<int> out = arrangedWidths(widths, list_->viewport()->width());
    for (int c = 0; c + 1 < out.size(); ++c)
        header->resizeSection(c, out[c]);
    list_->setFocus();
}

void TForm1::removeDuplicates() {
    if (!ctx_.rights.has(OperatorRight::ChangeBase) || !mayChangeList())
        return;
    {
        WaitCursor wait;
        ShowProgress(0, 1, T(textSearchingDuplicates) + QStringLiteral("..."));
        const QList<int> dups = findDuplicates(ctx_.users);
        ShowProgress(1, 1);
        const QString text = T(textDeletingDuplicates) + QStringLiteral("...");
        for (int k = int(dups.size()) - 1; k >= 0; --k) {
            ctx_.users.DeleteItem(dups[k]);
            ShowProgress(int(dups.size()) - k, int(dups.size()), text);
        }
        ShowProgress(0, 0);
    }
    model_->reload();
    list_->clearSelection();
    onSelectionChanged();
}

void TForm1::openNumbersChange() {
    if (!ctx_.rights.has(OperatorRight::ChangeBase) || !mayChangeList())
        return;
    TNumbersChange window(ctx_.users, this);
    window.selectedRows = [this] { return selectedRows(); };
    window.exec();
    list_->viewport()->update();
    onSelectionChanged();
}

TFindUser* TForm1::findWindow() {
    if (!find_) {
        find_ = new TFindUser(ctx_.users, this);
        find_->onFound = [this](int row) { selectOnly(row); };
    }
    QStringList captions;
    QList<int> lengths = {40, 30, 13, 2, 50, 30};
    for (int c = 0; c < model_->columnCount(); ++c) {
        captions << model_->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
        if (c >= 6)
            lengths << ctx_.users.columns().Item(c).length;
    }
    find_->setColumns(captions, lengths);
    return find_;
}

void TForm1::openFind() {
    TFindUser* w = findWindow();
    w->show();
    w->raise();
    w->activateWindow();
}

void TForm1::openResult() {
    if (ctx_.commands.notifyReport) {
        ctx_.commands.notifyReport(this);
        return;
    }
    const QString file =
        QFileDialog::getOpenFileName(this, T(textAlarmResult), ctx_.dirs.reports,
                                     QStringLiteral("*.xlsx *.xls"));
    if (file.isEmpty())
        return;
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(file))) {
        ShowMessageDialog(T(textOpenFileError) + QStringLiteral(": ") + file + QLatin1Char('!'),
                          T(textError), mb::kOk, kKindError);
    }
}

void TForm1::openManual() {
    const QStringList places = {ctx_.executableDir + QStringLiteral("/doc/manual.html"),
                                ctx_.executableDir + QStringLiteral("/../share/orvel/manual.html"),
                                ctx_.dirs.program + QStringLiteral("/manual.html")};
    for (const QString& p : places) {
        if (QFileInfo::exists(p)) {
            QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(p).absoluteFilePath()));
            return;
        }
    }
    ShowMessageDialog(T(textManualNotFound) + QLatin1Char('!'), T(textWarning), mb::kOk,
                      kKindWarning);
}

void TForm1::openDeviceInfo() {
    THardwareInfo window(library_, unserved_, this);
    window.exec();
}

void TForm1::openAbout() {
    TAboutBox box(ctx_.names.word, this);
    box.exec();
}

void TForm1::saveDeskScreenshots(const QString& dir) {
    auto save = [&dir](QWidget* w, const QString& name) {
        w->grab().save(dir + QLatin1Char('/') + name + QStringLiteral(".png"));
    };
    if (record_->mode() != TfrRecordInterface::kViewing)
        return;
    const QList<int> before = selectedRows();
    if (model_->rowCount() > 0 && before.isEmpty())
        selectOnly(0);
    save(rightPanel_, QStringLiteral("RecordPanel_view"));
    if (mayChangeList() && ctx_.rights.has(OperatorRight::ChangeBase)) {
        duplicateRecord();
        save(rightPanel_, QStringLiteral("RecordPanel_edit_one"));
        cancelEdit();
        if (model_->rowCount() > 2) {
            list_->selectionModel()->select(
                QItemSelection(model_->index(0, 0), model_->index(2, 0)),
                QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            changeRecord();
            save(rightPanel_, QStringLiteral("RecordPanel_edit_several"));
            cancelEdit();
        }
    }
    TFindUser* find = findWindow();
    find->textEdit()->setText(QStringLiteral("Ив"));
    find->adjustSize();
    save(find, QStringLiteral("FindUser"));
    TNumbersChange numbers(ctx_.users, this);
    numbers.adjustSize();
    save(&numbers, QStringLiteral("NumbersChange"));
    THardwareInfo info(library_, unserved_, this);
    info.fill();
    info.adjustSize();
    save(&info, QStringLiteral("HardwareInfo"));
    TAboutBox about(ctx_.names.word, this);
    about.adjustSize();
    save(&about, QStringLiteral("AboutBox"));
}

}  // namespace orvel
