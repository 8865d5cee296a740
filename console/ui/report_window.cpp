#include "ui/report_window.h"

#include <QButtonGroup>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFont>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <cmath>

#include "core/safe_file.h"
#include "core/settings_id.h"
#include "core/texts.h"
#include "diag/system_log.h"
#include "notify/list_workbook.h"
#include "notify/report_files.h"
#include "notify/results_workbook.h"
#include "ui/message_dialog.h"
#include "ui/program_context.h"
#include "ui/progress_window.h"
#include "ui/report_print_preview.h"
#include "ui/sheet_pages.h"
#include "ui/window_placement.h"

namespace orvel {

namespace {
const QString kFormSizes = QStringLiteral("FORMSIZES");
// Rows beyond this get no overflow spans (data rows are filled anyway).
constexpr int kOverflowRows = 200;

QString reportFilter() {
    return T(textReportFile) + QStringLiteral(" (*.xlsx *.xls)");
}

// Screen pixels of a width in characters and of a height in points.
int columnPixels(double chars) {
    return chars <= 0 ? 0 : int(std::trunc(chars * 7 + 5));
}
}  // namespace

void TReportSheetModel::setSheet(const TWorkbookSheet* sheet) {
    beginResetModel();
    sheet_ = sheet;
    endResetModel();
}

int TReportSheetModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || !sheet_ ? 0 : sheet_->rowCount;
}

int TReportSheetModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() || !sheet_ ? 0 : sheet_->columnCount;
}

QVariant TReportSheetModel::data(const QModelIndex& index, int role) const {
    if (!sheet_ || !index.isValid())
        return {};
    const TWorkbookCell* c = sheet_->cell(index.row() + 1, index.column() + 1);
    if (!c)
        return {};
    switch (role) {
        case Qt::DisplayRole:
            return c->displayText();
        case Qt::FontRole:
            if (c->bold || c->italic) {
                QFont f;
                f.setBold(c->bold);
                f.setItalic(c->italic);
                return f;
            }
            return {};
        case Qt::TextAlignmentRole: {
            const int v = Qt::AlignVCenter;
            switch (c->align) {
                case THorizontalAlign::Left:
                    return v | Qt::AlignLeft;
                case THorizontalAlign::Center:
                    return v | Qt::AlignHCenter;
                case THorizontalAlign::Right:
                    return v | Qt::AlignRight;
                default:
                    return v | (c->kind == TCellKind::Number || c->kind == TCellKind::Date
                                    ? Qt::AlignRight
                                    : Qt::AlignLeft);
            }
        }
        default:
            return {};
    }
}

QVariant TReportSheetModel::headerData(int section, Qt::Orientation o, int role) const {
    if (role != Qt::DisplayRole)
        return {};
    if (o == Qt::Vertical)
        return section + 1;
    QString name;
    for (int col = section + 1; col > 0; col = (col - 1) / 26)
        name.prepend(QChar('A' + (col - 1) % 26));
    return name;
}

TNotifyReport::TNotifyReport(ProgramContext& ctx, QWidget* parent) : QDialog(parent), ctx_(ctx) {
    setObjectName(QStringLiteral("NotifyReport"));
    setWindowTitle(QStringLiteral("Отчет"));
    model_ = new TReportSheetModel(this);
    grid_ = new QTableView(this);
    grid_->setObjectName(QStringLiteral("ReportGrid"));
    grid_->setModel(model_);
    grid_->setWordWrap(false);
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);

    auto* bar = new QHBoxLayout;
    auto* group = new QButtonGroup(this);
    const TextId names[kReportSheets] = {textReportGeneral, textReportNotified,
                                         textReportNotNotified, textReportNotNotifiedDetail,
                                         textReportDetail};
    for (int i = 0; i < kReportSheets; ++i) {
        auto* b = new QPushButton(T(names[i]), this);
        b->setCheckable(true);
        group->addButton(b, i);
        bar->addWidget(b);
        sheetButtons_[size_t(i)] = b;
        b->hide();
    }
    connect(group, &QButtonGroup::idClicked, this, &TNotifyReport::selectSheet);
    bar->addStretch(1);
    load_ = new QPushButton(T(textReportLoad), this);
    saveAs_ = new QPushButton(T(textReportSaveAs), this);
    print_ = new QPushButton(T(textReportPrint), this);
    load_->setEnabled(false);
    bar->addWidget(load_);
    bar->addWidget(saveAs_);
    bar->addWidget(print_);
    connect(load_, &QPushButton::clicked, this, &TNotifyReport::load);
    connect(saveAs_, &QPushButton::clicked, this, &TNotifyReport::saveAs);
    connect(print_, &QPushButton::clicked, this, &TNotifyReport::print);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(grid_, 1);
    resize(900, 600);
    RestoreFormPlacement(this, ctx_.settings, kFormSizes, kPlaceSize | kPlacePosition);
}

bool TNotifyReport::OpenReport(const QString& fileName) {
    QString error;
    auto book = ReadWorkbook(fileName, &error);
    if (!book) {
        // The window stays as it was; the reason goes to the system log.
        WriteSystemLog(
            QStringLiteral("Отчет не открыт: ") + fileName + QStringLiteral(": ") + error, 2);
        return false;
    }
    model_->setSheet(nullptr);
    book_ = std::move(book);
    fileName_ = fileName;
    load_->setEnabled(true);
    for (QPushButton* b : sheetButtons_)
        b->show();
    selectSheet(0);
    return true;
}

void TNotifyReport::showWorkbook(TWorkbook book, const QString& fileName) {
    model_->setSheet(nullptr);
    const int active = book.activeSheet;
    book_ = std::move(book);
    fileName_ = fileName;
    load_->setEnabled(false);
    for (QPushButton* b : sheetButtons_)
        b->hide();
    selectSheet(active);
}

void TNotifyReport::selectSheet(int sheet) {
    if (!book_ || sheet < 0 || sheet >= int(book_->sheets.size()))
        return;
    if (model_->rowCount() > 0 || model_->columnCount() > 0)
        rememberWidths();
    showSheet(sheet);
}

void TNotifyReport::showSheet(int sheet) {
    sheet_ = sheet;
    book_->activeSheet = sheet;
    if (sheet < kReportSheets)
        sheetButtons_[size_t(sheet)]->setChecked(true);
    const TWorkbookSheet& s = book_->sheets[size_t(sheet)];
    model_->setSheet(&s);
    grid_->clearSpans();
    for (const TCellRange& m : s.merged)
        if (m.lastRow - m.firstRow + m.lastCol - m.firstCol > 0)
            grid_->setSpan(m.firstRow - 1, m.firstCol - 1, m.lastRow - m.firstRow + 1,
                           m.lastCol - m.firstCol + 1);
    // A text runs on over the empty cells to its right, as the sheet shows it.
    for (const TWorkbookCell& c : s.cells) {
        if (c.row > kOverflowRows)
            break;
        if (c.kind != TCellKind::Text || c.wrap || grid_->columnSpan(c.row - 1, c.col - 1) > 1)
            continue;
        int last = c.col;
        while (last < s.columnCount && !s.cell(c.row, last + 1))
            ++last;
        bool merged = false;
        for (const TCellRange& m : s.merged)
            merged = merged || (m.firstRow <= c.row && m.lastRow >= c.row && m.firstCol <= last &&
                                m.lastCol > c.col);
        if (last > c.col && !merged)
            grid_->setSpan(c.row - 1, c.col - 1, 1, last - c.col + 1);
    }
    const QList<int>& stored = sheet < kReportSheets ? widths_[size_t(sheet)] : QList<int>();
    for (int col = 0; col < s.columnCount; ++col)
        grid_->setColumnWidth(col, col < stored.size() && stored[col] > 0
                                       ? stored[col]
                                       : columnPixels(s.columnWidth(col + 1)));
    applyRowHeights();
}

void TNotifyReport::applyRowHeights() {
    if (!book_)
        return;
    const TWorkbookSheet& s = book_->sheets[size_t(sheet_)];
    // Heights are points; the screen's pixels per inch over 96 scale them,
    // as the grid's own rows are measured at 96.
    const double dpi = screen() ? screen()->logicalDotsPerInch() : 96.0;
    const auto px = [&](double pt) { return int(std::trunc(pt * 96.0 / 72.0 * (dpi / 96.0))); };
    QHeaderView* v = grid_->verticalHeader();
    v->setMinimumSectionSize(1);
    v->setDefaultSectionSize(std::max(1, px(s.defaultRowHeight)));
    for (const auto& [row, height] : s.rowHeights)
        if (row <= s.rowCount)
            v->resizeSection(row - 1, px(height));
}

void TNotifyReport::rememberWidths() {
    if (sheet_ >= kReportSheets || !book_ || load_->isEnabled() == false)
        return;
    QList<int>& w = widths_[size_t(sheet_)];
    w.clear();
    for (int col = 0; col < model_->columnCount(); ++col)
        w << grid_->columnWidth(col);
}

void TNotifyReport::showEvent(QShowEvent* e) {
    for (int i = 0; i < kReportSheets; ++i)
        if (auto stored = loadColumnWidths(ctx_.settings, i + 1))
            widths_[size_t(i)] = *stored;
    if (book_)
        showSheet(sheet_);
    QDialog::showEvent(e);
}

void TNotifyReport::done(int r) {
    rememberWidths();
    for (int i = 0; i < kReportSheets; ++i)
        if (!widths_[size_t(i)].isEmpty())
            storeColumnWidths(ctx_.settings, i + 1, widths_[size_t(i)]);
    SaveFormPlacement(this, ctx_.settings, kFormSizes, kPlaceSize | kPlacePosition);
    QDialog::done(r);
}

void TNotifyReport::load() {
    const QString dir = ctx_.dirs.program.isEmpty()
                            ? ctx_.dirs.reports
                            : QDir(ctx_.dirs.program).filePath(QStringLiteral("Reports"));
    const QString file = QFileDialog::getOpenFileName(this, T(textReportLoad), dir, reportFilter());
    if (!file.isEmpty())
        OpenReport(file);
}

bool TNotifyReport::saveTo(const QString& path) {
    QFile in(fileName_);
    if (fileName_.isEmpty() || !in.open(QIODevice::ReadOnly))
        return false;
    return writeFileSafely(path, in.readAll());
}

void TNotifyReport::saveAs() {
    if (!book_)
        return;
    const QString dir = ctx_.settings.readString(SID_REPORT_SAVEAS_INITIALDIR, ctx_.dirs.reports);
    const QString ext =
        QFileInfo(fileName_).suffix().compare(QStringLiteral("xls"), Qt::CaseInsensitive) == 0
            ? QStringLiteral(".xls")
            : QString::fromLatin1(kReportExtension);
    const QString proposed =
        QDir(dir).filePath(proposedReportName(dir, QDate::currentDate(), ext) + ext);
    QString file =
        QFileDialog::getSaveFileName(this, T(textReportSaveAs), proposed, reportFilter());
    if (file.isEmpty())
        return;
    if (QFileInfo(file).suffix().isEmpty())
        file += ext;
    if (!saveTo(file)) {
        WriteSystemLog(QStringLiteral("Отчет не сохранен: ") + file, 2);
        return;
    }
    ctx_.settings.WriteSetting(SID_REPORT_SAVEAS_INITIALDIR, QFileInfo(file).absolutePath());
}

void TNotifyReport::print() {
    if (!book_)
        return;
    const TWorkbookSheet& sheet = book_->sheets[size_t(sheet_)];
    TfReportPrintPreview preview(sheet, this);
    if (preview.exec() != QDialog::Accepted)
        return;
    if (printSheet(sheet, preview.printer(), preview.fromPage(), preview.toPage()) == 0)
        WriteSystemLog(QStringLiteral("Отчет не напечатан"), 2);
}

void showReportFile(ProgramContext& ctx, const QString& file, QWidget* parent) {
    TNotifyReport report(ctx, parent);
    report.OpenReport(file);
    report.exec();
}

void openNotifyReport(ProgramContext& ctx, QWidget* parent) {
    if (!ctx.rights.has(OperatorRight::ViewReports))
        return;
    const QString file =
        QFileDialog::getOpenFileName(parent, T(textReportFile), ctx.dirs.reports, reportFilter());
    if (!file.isEmpty())
        showReportFile(ctx, file, parent);
}

namespace {
TListWorkbookInput listInput(ProgramContext& ctx) {
    TListWorkbookInput in;
    in.list = &ctx.users;
    if (ctx.commands.shownEntries) {
        in.entries = ctx.commands.shownEntries();
        in.useAllWhenEmpty = false;
    }
    const QString caption = T(textDataProcessing) + QStringLiteral("...");
    in.progress = [caption](int done, int total) { ShowProgress(done, total, caption); };
    return in;
}
}  // namespace

void printSubscriberList(ProgramContext& ctx, QWidget* parent) {
    if (!ctx.rights.has(OperatorRight::ExportRecords))
        return;
    const QString tpl = findReportTemplate(ctx.dirs.program, ctx.executableDir);
    if (tpl.isEmpty())
        return;  // no template: nothing to print from
    QTemporaryDir tmp;
    const QString path = tmp.filePath(QStringLiteral("list.xlsx"));
    QString error;
    const bool written = writeListWorkbook(tpl, path, listInput(ctx), false, &error);
    ShowProgress(0, 0);
    auto book = written ? ReadWorkbook(path, &error) : std::nullopt;
    if (!book) {
        WriteSystemLog(QStringLiteral("Список не подготовлен к печати: ") + error, 2);
        return;
    }
    TNotifyReport report(ctx, parent);
    report.showWorkbook(std::move(*book), path);
    report.exec();
}

void exportSubscriberList(ProgramContext& ctx, QWidget* parent) {
    if (!ctx.rights.has(OperatorRight::ExportRecords))
        return;
    const QString tpl = findReportTemplate(ctx.dirs.program, ctx.executableDir);
    if (tpl.isEmpty())
        return;
    const QString ext = QString::fromLatin1(kReportExtension);
    QString file = QFileDialog::getSaveFileName(
        parent, T(textExportRecords),
        QDir(ctx.dirs.program).filePath(QString::fromLatin1(kListExportName) + ext),
        T(textListExportFilter) + QStringLiteral(" (*") + ext + QLatin1Char(')'));
    if (file.isEmpty())
        return;
    if (QFileInfo(file).suffix().isEmpty())
        file += ext;
    QString error;
    const bool ok = writeListWorkbook(tpl, file, listInput(ctx), true, &error);
    ShowProgress(0, 0);
    if (!ok)
        ShowMessageDialog(T(textExportRecords) + QStringLiteral(": ") + error + QLatin1Char('!'),
                          T(textError), mb::kOk, kKindError);
}

}  // namespace orvel
