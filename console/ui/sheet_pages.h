#pragma once
// A workbook sheet laid out on printed pages and drawn onto them: the used
// area cut into column bands and row bands by the page size, the sheet's own
// print setup applied (orientation, margins, fit to page width, rows
// repeated at the top of every page).

#include <QFont>
#include <QPageLayout>
#include <QRectF>
#include <vector>

#include "data/workbook_reader.h"

class QPainter;
class QPrinter;

namespace orvel {

// Sheet sizes in points: a column of width w characters is as wide as the
// format's default font draws them (7 pixels a character plus 5 at 96 dpi).
double columnWidthPoints(const TWorkbookSheet& sheet, int col);
double rowHeightPoints(const TWorkbookSheet& sheet, int row);

// The page layout a sheet asks for on A4.
QPageLayout sheetPageLayout(const TWorkbookSheet& sheet);

class TSheetPages {
public:
    // `pageRect`: the printable area of a page in points.
    TSheetPages(const TWorkbookSheet& sheet, const QRectF& pageRect);

    int pageCount() const { return int(pages_.size()); }
    double scale() const { return scale_; }
    // Draws page `index` (from 0) with the painter's origin at the top left
    // of the printable area, in points.
    void drawPage(QPainter& p, int index) const;

private:
    struct Page {
        int firstCol, lastCol;
        std::vector<int> rows;  // repeated rows first, then the page's own
    };
    void drawCell(QPainter& p, const TWorkbookCell& c, const QRectF& r, double overflowRight) const;

    const TWorkbookSheet& sheet_;
    QRectF pageRect_;
    double scale_ = 1;
    std::vector<Page> pages_;
};

// Prints pages `from`..`to` (from 1; 0, 0: all) of the sheet on the printer,
// whose layout the caller has set. The number of pages printed.
int printSheet(const TWorkbookSheet& sheet, QPrinter& printer, int from = 0, int to = 0);

}  // namespace orvel
