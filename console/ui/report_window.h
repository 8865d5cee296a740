#pragma once
// "Отчет": a results workbook sheet by sheet in a grid, with the five sheet
// buttons, loading another report, saving under another name and printing
// through the preview. The subscriber list's print uses the same window on
// the filled list workbook, without loading and sheet buttons.

#include <QAbstractTableModel>
#include <QDialog>
#include <array>
#include <optional>

#include "data/workbook_reader.h"

class QPushButton;
class QTableView;

namespace orvel {

struct ProgramContext;

// The cells of one sheet for a table view.
class TReportSheetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;
    void setSheet(const TWorkbookSheet* sheet);
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;

private:
    const TWorkbookSheet* sheet_ = nullptr;
};

inline constexpr int kReportSheets = 5;

class TNotifyReport : public QDialog {
    Q_OBJECT
public:
    explicit TNotifyReport(ProgramContext& ctx, QWidget* parent = nullptr);

    // Opens the workbook in the grid, enables loading, shows the sheet
    // buttons and selects sheet 1. False (grid empty) when it cannot be read.
    bool OpenReport(const QString& fileName);
    // A workbook made for printing only (the subscriber list): no loading,
    // no sheet buttons; its active sheet is shown.
    void showWorkbook(TWorkbook book, const QString& fileName);
    void selectSheet(int sheet);
    int currentSheet() const { return sheet_; }
    const std::optional<TWorkbook>& workbook() const { return book_; }
    QTableView* grid() const { return grid_; }
    // The preview, then printing of the chosen pages.
    void print();
    // Writes the workbook to `path` (aside, then renamed); false on failure.
    bool saveTo(const QString& path);

protected:
    void showEvent(QShowEvent* e) override;
    void done(int r) override;

private:
    void load();
    void saveAs();
    void showSheet(int sheet);
    void applyRowHeights();
    void rememberWidths();

    ProgramContext& ctx_;
    std::optional<TWorkbook> book_;
    QString fileName_;
    int sheet_ = 0;
    TReportSheetModel* model_;
    QTableView* grid_;
    std::array<QPushButton*, kReportSheets> sheetButtons_{};
    QPushButton* load_;
    QPushButton* saveAs_;
    QPushButton* print_;
    // Column widths of the five sheets as the operator left them.
    std::array<QList<int>, kReportSheets> widths_;
};

// The commands of the main window: "Результат оповещения" (choose a file,
// then the report), "Печать..." and "Экспорт записей..." of the list.
void openNotifyReport(ProgramContext& ctx, QWidget* parent);
void showReportFile(ProgramContext& ctx, const QString& file, QWidget* parent);
void printSubscriberList(ProgramContext& ctx, QWidget* parent);
void exportSubscriberList(ProgramContext& ctx, QWidget* parent);

}  // namespace orvel
