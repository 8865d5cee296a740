#include "ui/sheet_pages.h"

#include <QPainter>
#include <QPrinter>
#include <cmath>

namespace orvel {

namespace {
constexpr double kPointsPerPixel96 = 72.0 / 96.0;
constexpr double kFontPoints = 10;
constexpr double kCellPadding = 2;  // points left and right of a text

QPen borderPen(TBorderLine line) {
    QPen pen(Qt::black);
    pen.setCosmetic(false);
    switch (line) {
        case TBorderLine::Medium:
            pen.setWidthF(1.0);
            break;
        case TBorderLine::Thick:
            pen.setWidthF(1.5);
            break;
        case TBorderLine::Double:
            pen.setWidthF(1.2);
            break;
        case TBorderLine::Dashed:
            pen.setWidthF(0.5);
            pen.setStyle(Qt::DashLine);
            break;
        case TBorderLine::Dotted:
            pen.setWidthF(0.5);
            pen.setStyle(Qt::DotLine);
            break;
        default:
            pen.setWidthF(0.5);
    }
    return pen;
}
}  // namespace

double columnWidthPoints(const TWorkbookSheet& sheet, int col) {
    const double chars = sheet.columnWidth(col);
    if (chars <= 0)
        return 0;
    return std::trunc(chars * 7 + 5) * kPointsPerPixel96;
}

double rowHeightPoints(const TWorkbookSheet& sheet, int row) {
    return sheet.rowHeight(row);
}

QPageLayout sheetPageLayout(const TWorkbookSheet& sheet) {
    const TPrintSetup& ps = sheet.print;
    const QMarginsF margins(ps.marginLeft * 72, ps.marginTop * 72, ps.marginRight * 72,
                            ps.marginBottom * 72);
    return QPageLayout(QPageSize(QPageSize::A4),
                       ps.landscape ? QPageLayout::Landscape : QPageLayout::Portrait, margins,
                       QPageLayout::Point);
}

TSheetPages::TSheetPages(const TWorkbookSheet& sheet, const QRectF& pageRect)
    : sheet_(sheet), pageRect_(pageRect) {
    const TPrintSetup& ps = sheet.print;
    const int cols = sheet.columnCount, rows = sheet.rowCount;
    if (cols == 0 || rows == 0 || pageRect.width() <= 0 || pageRect.height() <= 0)
        return;
    double totalWidth = 0, totalHeight = 0;
    for (int c = 1; c <= cols; ++c)
        totalWidth += columnWidthPoints(sheet, c);
    for (int r = 1; r <= rows; ++r)
        totalHeight += rowHeightPoints(sheet, r);
    scale_ = ps.scalePercent / 100.0;
    if (ps.fitWidth > 0 || ps.fitHeight > 0) {
        scale_ = 1;
        if (ps.fitWidth > 0 && totalWidth > 0)
            scale_ = std::min(scale_, pageRect.width() * ps.fitWidth / totalWidth);
        if (ps.fitHeight > 0 && totalHeight > 0)
            scale_ = std::min(scale_, pageRect.height() * ps.fitHeight / totalHeight);
        scale_ = std::max(scale_, 0.1);
    }
    const double width = pageRect.width() / scale_, height = pageRect.height() / scale_;

    // Column bands: as many columns as fit, at least one.
    std::vector<std::pair<int, int>> bands;
    for (int c = 1; c <= cols;) {
        double w = 0;
        int last = c;
        while (last <= cols && (last == c || w + columnWidthPoints(sheet, last) <= width + 0.01))
            w += columnWidthPoints(sheet, last++);
        bands.emplace_back(c, last - 1);
        c = last;
    }
    // Row bands: the repeated rows head every page that does not begin
    // above them.
    const int repFirst = std::min(ps.repeatFirstRow, rows),
              repLast = std::min(ps.repeatLastRow, rows);
    double repHeight = 0;
    for (int r = repFirst; repFirst > 0 && r <= repLast; ++r)
        repHeight += rowHeightPoints(sheet, r);
    if (repHeight > height / 2)
        repHeight = 0;  // titles that leave no room for data are not repeated
    std::vector<std::vector<int>> rowPages;
    for (int r = 1; r <= rows;) {
        std::vector<int> page;
        double h = 0;
        if (repHeight > 0 && r > repLast) {
            for (int k = repFirst; k <= repLast; ++k)
                page.push_back(k);
            h = repHeight;
        }
        const size_t own = page.size();
        while (r <= rows &&
               (page.size() == own || h + rowHeightPoints(sheet, r) <= height + 0.01)) {
            h += rowHeightPoints(sheet, r);
            page.push_back(r++);
        }
        rowPages.push_back(std::move(page));
    }
    // Down, then over: all rows of the first column band first.
    for (const auto& band : bands)
        for (const auto& rp : rowPages)
            pages_.push_back({band.first, band.second, rp});
}

void TSheetPages::drawCell(QPainter& p, const TWorkbookCell& c, const QRectF& r,
                           double overflowRight) const {
    const QString text = c.displayText();
    if (!text.isEmpty()) {
        // The painter draws in points: a size in the painter's own units
        // keeps the font independent of the device's resolution.
        QFont f(QStringLiteral("Arial"));
        f.setPixelSize(int(kFontPoints));
        f.setBold(c.bold);
        f.setItalic(c.italic);
        p.setFont(f);
        int align = Qt::AlignBottom;
        switch (c.align) {
            case THorizontalAlign::Left:
                align |= Qt::AlignLeft;
                break;
            case THorizontalAlign::Center:
                align |= Qt::AlignHCenter;
                break;
            case THorizontalAlign::Right:
                align |= Qt::AlignRight;
                break;
            default:
                align |= c.kind == TCellKind::Number || c.kind == TCellKind::Date ? Qt::AlignRight
                                                                                  : Qt::AlignLeft;
        }
        if (c.wrap)
            align = (align & ~Qt::AlignBottom) | Qt::AlignTop | Qt::TextWordWrap;
        QRectF tr = r.adjusted(kCellPadding, 0, -kCellPadding, 0);
        if (!c.wrap && (align & Qt::AlignLeft))
            tr.setRight(tr.right() + overflowRight);
        p.save();
        p.setClipRect(tr.adjusted(-kCellPadding, 0, kCellPadding, 0));
        p.drawText(tr, align, text);
        p.restore();
    }
    const TCellBorders& b = c.borders;
    const auto line = [&](TBorderLine kind, QPointF a, QPointF z) {
        if (kind == TBorderLine::None)
            return;
        p.setPen(borderPen(kind));
        p.drawLine(a, z);
    };
    line(b.top, r.topLeft(), r.topRight());
    line(b.bottom, r.bottomLeft(), r.bottomRight());
    line(b.left, r.topLeft(), r.bottomLeft());
    line(b.right, r.topRight(), r.bottomRight());
}

void TSheetPages::drawPage(QPainter& p, int index) const {
    if (index < 0 || index >= pageCount())
        return;
    const Page& page = pages_[size_t(index)];
    p.save();
    p.scale(scale_, scale_);
    p.setPen(Qt::black);
    std::vector<double> x{0};
    for (int c = page.firstCol; c <= page.lastCol; ++c)
        x.push_back(x.back() + columnWidthPoints(sheet_, c));
    double y = 0;
    for (int row : page.rows) {
        const double h = rowHeightPoints(sheet_, row);
        for (int c = page.firstCol; c <= page.lastCol; ++c) {
            const TWorkbookCell* cell = sheet_.cell(row, c);
            if (!cell)
                continue;
            // A merged range is drawn from its first cell over the part of
            // it on this page; the other cells of the range are covered.
            const TCellRange* merge = nullptr;
            for (const TCellRange& m : sheet_.merged)
                if (m.contains(row, c))
                    merge = &m;
            if (merge && (merge->firstRow != row || merge->firstCol != c))
                continue;
            double w = x[size_t(c - page.firstCol + 1)] - x[size_t(c - page.firstCol)];
            double mh = h;
            if (merge) {
                for (int k = c + 1; k <= std::min(merge->lastCol, page.lastCol); ++k)
                    w += columnWidthPoints(sheet_, k);
                for (int k = row + 1; k <= merge->lastRow; ++k)
                    mh += rowHeightPoints(sheet_, k);
            }
            // A text runs on over empty cells to its right, as on screen.
            double overflow = 0;
            if (!merge && cell->kind == TCellKind::Text)
                for (int k = c + 1; k <= page.lastCol && !sheet_.cell(row, k); ++k)
                    overflow += columnWidthPoints(sheet_, k);
            drawCell(p, *cell, QRectF(x[size_t(c - page.firstCol)], y, w, mh), overflow);
        }
        y += h;
    }
    p.restore();
}

int printSheet(const TWorkbookSheet& sheet, QPrinter& printer, int from, int to) {
    const QRectF area = printer.pageLayout().paintRect(QPageLayout::Point);
    const TSheetPages pages(sheet, QRectF(0, 0, area.width(), area.height()));
    if (pages.pageCount() == 0)
        return 0;
    if (from < 1)
        from = 1;
    if (to < 1 || to > pages.pageCount())
        to = pages.pageCount();
    QPainter p;
    if (!p.begin(&printer))
        return 0;
    // Points to device pixels.
    const double k = printer.resolution() / 72.0;
    int printed = 0;
    for (int i = from; i <= to; ++i) {
        if (printed > 0)
            printer.newPage();
        p.save();
        p.scale(k, k);
        pages.drawPage(p, i - 1);
        p.restore();
        ++printed;
    }
    p.end();
    return printed;
}

}  // namespace orvel
