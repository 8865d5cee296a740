#include "data/workbook_reader.h"

#include <zip.h>
#include <QDir>
#include <QFile>
#include <cmath>
#include <cstring>
#include <pugixml.hpp>

#include "data/workbook_styles.h"
#include "data/workbook_xml.h"

namespace orvel {

std::optional<TWorkbook> readXlsWorkbook(const QString& path, QString* error);

namespace {

constexpr char kCompoundFileMagic[] = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
constexpr int kReadChunk = 1 << 20;

bool fail(QString* error, const QString& why) {
    if (error)
        *error = why;
    return false;
}

// The archive of an Office Open XML package held in memory. Every member is
// read against a budget of uncompressed bytes, so a small archive that
// inflates to gigabytes stops at the limit instead of filling memory.
class Package {
public:
    ~Package() {
        if (zip_)
            zip_discard(zip_);
    }
    bool open(const QByteArray& bytes, QString* error) {
        zip_error_t err;
        zip_error_init(&err);
        zip_source_t* src =
            zip_source_buffer_create(bytes.constData(), zip_uint64_t(bytes.size()), 0, &err);
        if (src) {
            zip_ = zip_open_from_source(src, ZIP_RDONLY, &err);
            if (!zip_)
                zip_source_free(src);
        }
        zip_error_fini(&err);
        return zip_ || fail(error, QStringLiteral("не архив книги (zip)"));
    }
    bool has(const QString& name) const {
        return zip_name_locate(zip_, name.toUtf8().constData(), ZIP_FL_NOCASE) >= 0;
    }
    // The member's bytes; nullopt with `error` when it is missing, too large
    // or damaged.
    std::optional<QByteArray> read(const QString& name, QString* error) {
        const QByteArray n = name.toUtf8();
        const zip_int64_t index = zip_name_locate(zip_, n.constData(), ZIP_FL_NOCASE);
        zip_stat_t st;
        if (index < 0 || zip_stat_index(zip_, zip_uint64_t(index), 0, &st) != 0) {
            fail(error, QStringLiteral("нет части ") + name);
            return std::nullopt;
        }
        const qint64 limit = std::min(kWorkbookMaxPartBytes, kWorkbookMaxTotalBytes - spent_);
        if ((st.valid & ZIP_STAT_SIZE) && st.size > zip_uint64_t(limit)) {
            fail(error, QStringLiteral("часть ") + name + QStringLiteral(" слишком велика"));
            return std::nullopt;
        }
        zip_file_t* f = zip_fopen_index(zip_, zip_uint64_t(index), 0);
        if (!f) {
            fail(error, QStringLiteral("не открыть часть ") + name);
            return std::nullopt;
        }
        // Read in chunks whatever the header claims: the declared size is
        // outside input too. The first read takes what the header claims;
        // past it the reads start small and double up to a chunk, since
        // normally they only find the end (a megabyte buffer per part made
        // reading a small workbook cost milliseconds).
        const qint64 declared = (st.valid & ZIP_STAT_SIZE) ? qint64(st.size) : 0;
        qint64 chunk = std::clamp<qint64>(declared + 1, 4096, limit + 1);
        qint64 probe = 4096;
        QByteArray out;
        bool ok = true;
        for (;;) {
            const qsizetype at = out.size();
            if (at > limit) {
                ok = fail(error,
                          QStringLiteral("часть ") + name + QStringLiteral(" слишком велика"));
                break;
            }
            out.resize(at + qsizetype(chunk));
            const zip_int64_t got = zip_fread(f, out.data() + at, zip_uint64_t(chunk));
            if (got < 0) {
                ok = fail(error, QStringLiteral("часть ") + name + QStringLiteral(" повреждена"));
                break;
            }
            out.resize(at + qsizetype(got));
            if (got == 0)
                break;
            chunk = probe;
            probe = std::min<qint64>(probe * 2, kReadChunk);
        }
        zip_fclose(f);
        if (!ok)
            return std::nullopt;
        spent_ += out.size();
        return out;
    }

private:
    zip_t* zip_ = nullptr;
    qint64 spent_ = 0;
};

using xlsx::attr;
using xlsx::child;
using xlsx::is;

// A parsed part; the document keeps its buffer (parsed in place).
struct Part {
    pugi::xml_document doc;
    pugi::xml_node root;
};

bool parse(Package& pkg, const QString& name, Part* part, QString* error) {
    auto bytes = pkg.read(name, error);
    if (!bytes)
        return false;
    const unsigned options = pugi::parse_default | pugi::parse_ws_pcdata_single;
    const pugi::xml_parse_result r =
        part->doc.load_buffer(bytes->constData(), size_t(bytes->size()), options);
    if (!r)
        return fail(error, QStringLiteral("часть ") + name +
                               QStringLiteral(" не читается как XML: ") +
                               QString::fromUtf8(r.description()));
    part->root = part->doc.document_element();
    return true;
}

QString dirOf(const QString& part) {
    const int slash = part.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : part.left(slash);
}

// A relationship target against the directory of its source part.
QString resolveTarget(const QString& baseDir, const QString& target) {
    if (target.startsWith(QLatin1Char('/')))
        return QDir::cleanPath(target.mid(1));
    QString joined = baseDir.isEmpty() ? target : baseDir + QLatin1Char('/') + target;
    joined = QDir::cleanPath(joined);
    while (joined.startsWith(QStringLiteral("../")))
        joined = joined.mid(3);
    return joined;
}

QString relsPathOf(const QString& part) {
    const QString dir = dirOf(part);
    const QString file = part.mid(dir.isEmpty() ? 0 : dir.size() + 1);
    return (dir.isEmpty() ? QString() : dir + QLatin1Char('/')) + QStringLiteral("_rels/") + file +
           QStringLiteral(".rels");
}

struct Relationship {
    QString id, type, target;
};

std::vector<Relationship> readRels(Package& pkg, const QString& source) {
    std::vector<Relationship> out;
    const QString path = relsPathOf(source);
    Part rels;
    if (!pkg.has(path) || !parse(pkg, path, &rels, nullptr))
        return out;
    const QString base = dirOf(source);
    for (pugi::xml_node r = rels.root.first_child(); r; r = r.next_sibling()) {
        if (!is(r, "Relationship") || QLatin1String(attr(r, "TargetMode").value()) == "External")
            continue;
        out.push_back({QString::fromUtf8(attr(r, "Id").value()),
                       QString::fromUtf8(attr(r, "Type").value()),
                       resolveTarget(base, QString::fromUtf8(attr(r, "Target").value()))});
    }
    return out;
}

QString targetOfType(const std::vector<Relationship>& rels, const char* typeSuffix) {
    for (const auto& r : rels)
        if (r.type.endsWith(QLatin1String(typeSuffix)))
            return r.target;
    return QString();
}

// The text of a shared string item or an inline string: its own text, or
// its runs joined (phonetic hints left out).
QString stringItemText(pugi::xml_node si) {
    if (pugi::xml_node t = child(si, "t"))
        return QString::fromUtf8(t.child_value());
    QString s;
    for (pugi::xml_node r = si.first_child(); r; r = r.next_sibling())
        if (is(r, "r"))
            s += QString::fromUtf8(child(r, "t").child_value());
    return s;
}

// "AB12" -> column 28, row 12. False when malformed or out of the format's
// range. A reference without a row (in ranges of whole columns) gives row 0.
bool parseRef(const char* ref, int* row, int* col) {
    const char* p = ref;
    if (*p == '$')
        ++p;
    qint64 c = 0;
    while ((*p >= 'A' && *p <= 'Z') || (*p >= 'a' && *p <= 'z')) {
        c = c * 26 + ((*p & ~0x20) - 'A' + 1);
        if (c > kWorkbookMaxColumns)
            return false;
        ++p;
    }
    if (*p == '$')
        ++p;
    qint64 r = 0;
    while (*p >= '0' && *p <= '9') {
        r = r * 10 + (*p - '0');
        if (r > kWorkbookMaxRows)
            return false;
        ++p;
    }
    if (*p != '\0' || c == 0)
        return false;
    *row = int(r);
    *col = int(c);
    return true;
}

bool parseRange(const char* text, TCellRange* range) {
    const char* colon = std::strchr(text, ':');
    if (!colon)
        return false;
    const std::string first(text, colon);
    if (!parseRef(first.c_str(), &range->firstRow, &range->firstCol) ||
        !parseRef(colon + 1, &range->lastRow, &range->lastCol))
        return false;
    return range->firstRow >= 1 && range->firstRow <= range->lastRow &&
           range->firstCol <= range->lastCol;
}

// Number of a cell value; false for text that is not a number.
bool parseNumber(const char* s, double* value) {
    char* end = nullptr;
    const double v = std::strtod(s, &end);
    if (end == s || !std::isfinite(v))
        return false;
    while (*end == ' ')
        ++end;
    if (*end != '\0')
        return false;
    *value = v;
    return true;
}

struct SheetContext {
    const std::vector<QString>* strings;
    const TWorkbookStyles* styles;
    bool base1904;
    qint64* cellBudget;
};

bool readCell(pugi::xml_node c, int row, int col, const SheetContext& ctx, TWorkbookCell* out) {
    out->row = row;
    out->col = col;
    const pugi::xml_attribute s = attr(c, "s");
    const TCellStyle& st = ctx.styles->cellStyle(s ? s.as_int() : 0);
    out->bold = st.bold;
    out->italic = st.italic;
    out->wrap = st.wrap;
    out->align = st.align;
    out->borders = st.borders;

    const char* type = attr(c, "t").value();
    const char* v = child(c, "v").child_value();
    if (std::strcmp(type, "s") == 0) {
        double index = -1;
        // A reference to a string that is not there reads as an empty cell.
        if (parseNumber(v, &index) && index >= 0 && index < double(ctx.strings->size())) {
            out->kind = TCellKind::Text;
            out->text = (*ctx.strings)[size_t(index)];
        }
    } else if (std::strcmp(type, "inlineStr") == 0) {
        out->kind = TCellKind::Text;
        out->text = stringItemText(child(c, "is"));
    } else if (std::strcmp(type, "str") == 0) {
        out->kind = TCellKind::Text;
        out->text = QString::fromUtf8(v);
    } else if (std::strcmp(type, "b") == 0) {
        out->kind = TCellKind::Boolean;
        out->number = std::strcmp(v, "1") == 0 || std::strcmp(v, "true") == 0 ? 1 : 0;
        out->text = out->number != 0 ? QStringLiteral("ИСТИНА") : QStringLiteral("ЛОЖЬ");
    } else if (std::strcmp(type, "e") == 0) {
        out->kind = TCellKind::Error;
        out->text = QString::fromUtf8(v);
    } else if (std::strcmp(type, "d") == 0) {
        const QDateTime dt = QDateTime::fromString(QString::fromUtf8(v), Qt::ISODate);
        if (dt.isValid()) {
            out->kind = TCellKind::Date;
            out->date = dt;
            out->number = workbookDateTimeToSerial(dt);
        }
    } else if (*v != '\0') {
        double number = 0;
        if (parseNumber(v, &number)) {
            out->number = number;
            out->kind = TCellKind::Number;
            if (st.isDate) {
                const QDateTime dt = workbookSerialToDateTime(number, ctx.base1904);
                if (dt.isValid()) {
                    out->kind = TCellKind::Date;
                    out->date = dt;
                }
            }
        } else {
            out->kind = TCellKind::Text;
            out->text = QString::fromUtf8(v);
        }
    }
    return out->kind != TCellKind::Empty || out->borders.any();
}

void readPrintSetup(pugi::xml_node ws, TPrintSetup* p) {
    if (pugi::xml_node m = child(ws, "pageMargins")) {
        const auto margin = [&](const char* name, double* to) {
            const double v = attr(m, name).as_double(*to);
            if (std::isfinite(v) && v >= 0 && v < 20)
                *to = v;
        };
        margin("left", &p->marginLeft);
        margin("right", &p->marginRight);
        margin("top", &p->marginTop);
        margin("bottom", &p->marginBottom);
    }
    bool fitToPage = false;
    if (pugi::xml_node pr = child(ws, "sheetPr"))
        fitToPage = attr(child(pr, "pageSetUpPr"), "fitToPage").as_bool();
    if (pugi::xml_node ps = child(ws, "pageSetup")) {
        p->landscape = QLatin1String(attr(ps, "orientation").value()) == "landscape";
        const int scale = attr(ps, "scale").as_int(100);
        p->scalePercent = scale >= 10 && scale <= 400 ? scale : 100;
        if (fitToPage) {
            p->fitWidth = std::clamp(attr(ps, "fitToWidth").as_int(1), 0, 32767);
            p->fitHeight = std::clamp(attr(ps, "fitToHeight").as_int(1), 0, 32767);
        }
    } else if (fitToPage) {
        p->fitWidth = p->fitHeight = 1;
    }
}

bool readSheet(const pugi::xml_node ws, const SheetContext& ctx, TWorkbookSheet* sheet,
               QString* error) {
    if (pugi::xml_node f = child(ws, "sheetFormatPr")) {
        const double h = attr(f, "defaultRowHeight").as_double(sheet->defaultRowHeight);
        if (std::isfinite(h) && h > 0 && h <= 409)
            sheet->defaultRowHeight = h;
        const double w = attr(f, "defaultColWidth").as_double(sheet->defaultColumnWidth);
        if (std::isfinite(w) && w > 0 && w <= 255)
            sheet->defaultColumnWidth = w;
    }
    // Column ranges are spread over single columns only up to the last used
    // one: a range to the sheet's end would otherwise cost 16,384 entries.
    struct ColRange {
        int lo, hi;
        double width;
    };
    std::vector<ColRange> colRanges;
    if (pugi::xml_node cols = child(ws, "cols")) {
        for (pugi::xml_node c = cols.first_child(); c; c = c.next_sibling()) {
            if (!is(c, "col"))
                continue;
            const int lo = std::max(1, attr(c, "min").as_int(0));
            const int hi = std::min(kWorkbookMaxColumns, attr(c, "max").as_int(0));
            const double w = attr(c, "width").as_double(-1);
            const bool hidden = attr(c, "hidden").as_bool();
            if (lo > hi || (!hidden && !(std::isfinite(w) && w >= 0 && w <= 255)))
                continue;
            colRanges.push_back({lo, hi, hidden ? 0.0 : w});
        }
    }
    pugi::xml_node data = child(ws, "sheetData");
    int row = 0;
    for (pugi::xml_node r = data.first_child(); r; r = r.next_sibling()) {
        if (!is(r, "row"))
            continue;
        const pugi::xml_attribute ra = attr(r, "r");
        const qint64 rn = ra ? ra.as_llong(0) : qint64(row) + 1;
        if (rn < 1 || rn > kWorkbookMaxRows)
            return fail(error, QStringLiteral("номер строки вне листа"));
        row = int(rn);
        if (attr(r, "hidden").as_bool()) {
            sheet->rowHeights[row] = 0;
        } else if (const pugi::xml_attribute ht = attr(r, "ht")) {
            const double h = ht.as_double(-1);
            if (std::isfinite(h) && h >= 0 && h <= 409)
                sheet->rowHeights[row] = h;
        }
        int col = 0;
        for (pugi::xml_node c = r.first_child(); c; c = c.next_sibling()) {
            if (!is(c, "c"))
                continue;
            int cr = row, cc = col + 1;
            if (const pugi::xml_attribute ref = attr(c, "r")) {
                if (!parseRef(ref.value(), &cr, &cc) || cr != row)
                    return fail(error, QStringLiteral("неверная ссылка на ячейку ") +
                                           QString::fromUtf8(ref.value()));
            }
            if (cc > kWorkbookMaxColumns)
                return fail(error, QStringLiteral("столбец вне листа"));
            col = cc;
            TWorkbookCell cell;
            if (!readCell(c, row, col, ctx, &cell))
                continue;
            if (--*ctx.cellBudget < 0)
                return fail(error, QStringLiteral("слишком много ячеек"));
            sheet->cells.push_back(std::move(cell));
        }
    }
    // Cells are kept by row, then column; writers almost always store them
    // so already, and the grid relies on it.
    const auto before = [](const TWorkbookCell& a, const TWorkbookCell& b) {
        return a.row != b.row ? a.row < b.row : a.col < b.col;
    };
    if (!std::is_sorted(sheet->cells.begin(), sheet->cells.end(), before))
        std::stable_sort(sheet->cells.begin(), sheet->cells.end(), before);
    // A cell given twice keeps its last value (the sort above is stable).
    size_t kept = 0;
    for (size_t i = 0; i < sheet->cells.size(); ++i) {
        if (kept > 0 && sheet->cells[kept - 1].row == sheet->cells[i].row &&
            sheet->cells[kept - 1].col == sheet->cells[i].col) {
            sheet->cells[kept - 1] = std::move(sheet->cells[i]);
            continue;
        }
        if (kept != i)
            sheet->cells[kept] = std::move(sheet->cells[i]);
        ++kept;
    }
    sheet->cells.resize(kept);

    if (pugi::xml_node merges = child(ws, "mergeCells")) {
        for (pugi::xml_node m = merges.first_child(); m; m = m.next_sibling()) {
            TCellRange range;
            if (!is(m, "mergeCell") || !parseRange(attr(m, "ref").value(), &range))
                continue;
            if (qint64(sheet->merged.size()) >= kWorkbookMaxMerges)
                return fail(error, QStringLiteral("слишком много объединённых ячеек"));
            sheet->merged.push_back(range);
        }
    }
    readPrintSetup(ws, &sheet->print);

    for (const TWorkbookCell& c : sheet->cells) {
        sheet->rowCount = std::max(sheet->rowCount, c.row);
        sheet->columnCount = std::max(sheet->columnCount, c.col);
    }
    for (const TCellRange& m : sheet->merged) {
        if (sheet->cell(m.firstRow, m.firstCol)) {
            sheet->rowCount = std::max(sheet->rowCount, m.lastRow);
            sheet->columnCount = std::max(sheet->columnCount, m.lastCol);
        }
    }
    // Sizes beyond the used area matter to nobody who shows or prints it.
    sheet->rowHeights.erase(sheet->rowHeights.upper_bound(sheet->rowCount),
                            sheet->rowHeights.end());
    for (const ColRange& r : colRanges)
        for (int k = r.lo; k <= std::min(r.hi, sheet->columnCount); ++k)
            sheet->columnWidths[k] = r.width;
    return true;
}

// "'Лист 1'!$16:$16" or "Sheet!$A:$B,Sheet!$1:$3": the rows part.
void readPrintTitles(const QString& text, TPrintSetup* p) {
    for (QString part : text.split(QLatin1Char(','))) {
        const int bang = part.lastIndexOf(QLatin1Char('!'));
        part = part.mid(bang + 1).remove(QLatin1Char('$'));
        const QStringList ends = part.split(QLatin1Char(':'));
        bool ok1 = false, ok2 = false;
        if (ends.size() != 2)
            continue;
        const int first = ends[0].toInt(&ok1), last = ends[1].toInt(&ok2);
        if (ok1 && ok2 && first >= 1 && first <= last && last <= kWorkbookMaxRows) {
            p->repeatFirstRow = first;
            p->repeatLastRow = last;
        }
    }
}

}  // namespace

std::optional<TWorkbook> ReadWorkbookBytes(const QByteArray& bytes, QString* error) {
    if (bytes.size() > kWorkbookMaxFileBytes) {
        fail(error, QStringLiteral("файл слишком велик"));
        return std::nullopt;
    }
    Package pkg;
    if (!pkg.open(bytes, error))
        return std::nullopt;

    QString workbookPart = QStringLiteral("xl/workbook.xml");
    const QString office = targetOfType(readRels(pkg, QString()), "/officeDocument");
    if (!office.isEmpty() && pkg.has(office))
        workbookPart = office;
    Part wb;
    if (!parse(pkg, workbookPart, &wb, error))
        return std::nullopt;
    if (!is(wb.root, "workbook")) {
        fail(error, QStringLiteral("в книге нет описания листов"));
        return std::nullopt;
    }
    const std::vector<Relationship> rels = readRels(pkg, workbookPart);
    const QString base = dirOf(workbookPart);

    std::vector<QString> strings;
    QString sstPart = targetOfType(rels, "/sharedStrings");
    if (sstPart.isEmpty())
        sstPart = resolveTarget(base, QStringLiteral("sharedStrings.xml"));
    if (pkg.has(sstPart)) {
        Part sst;
        if (!parse(pkg, sstPart, &sst, error))
            return std::nullopt;
        for (pugi::xml_node si = sst.root.first_child(); si; si = si.next_sibling())
            if (is(si, "si"))
                strings.push_back(stringItemText(si));
    }

    TWorkbookStyles styles;
    QString stylesPart = targetOfType(rels, "/styles");
    if (stylesPart.isEmpty())
        stylesPart = resolveTarget(base, QStringLiteral("styles.xml"));
    if (pkg.has(stylesPart)) {
        Part st;
        if (!parse(pkg, stylesPart, &st, error))
            return std::nullopt;
        styles.read(st.root);
    }

    const bool base1904 = attr(child(wb.root, "workbookPr"), "date1904").as_bool();
    qint64 cellBudget = kWorkbookMaxCells;
    const SheetContext ctx{&strings, &styles, base1904, &cellBudget};

    TWorkbook book;
    for (pugi::xml_node s = child(child(wb.root, "sheets"), "sheet"); s; s = s.next_sibling()) {
        if (!is(s, "sheet"))
            continue;
        if (int(book.sheets.size()) >= kWorkbookMaxSheets) {
            fail(error, QStringLiteral("слишком много листов"));
            return std::nullopt;
        }
        TWorkbookSheet sheet;
        sheet.name = QString::fromUtf8(attr(s, "name").value());
        const QString rid = QString::fromUtf8(attr(s, "id").value());
        QString target;
        for (const auto& r : rels)
            if (r.id == rid)
                target = r.target;
        if (target.isEmpty()) {
            fail(error, QStringLiteral("у листа «") + sheet.name + QStringLiteral("» нет части"));
            return std::nullopt;
        }
        Part part;
        if (!parse(pkg, target, &part, error))
            return std::nullopt;
        // A chart sheet has no cells: it stays an empty sheet so that the
        // sheets keep their numbers.
        if (is(part.root, "worksheet") && !readSheet(part.root, ctx, &sheet, error)) {
            if (error)
                *error = QStringLiteral("лист «") + sheet.name + QStringLiteral("»: ") + *error;
            return std::nullopt;
        }
        book.sheets.push_back(std::move(sheet));
    }
    if (book.sheets.empty()) {
        fail(error, QStringLiteral("в книге нет листов"));
        return std::nullopt;
    }
    for (pugi::xml_node dn = child(child(wb.root, "definedNames"), "definedName"); dn;
         dn = dn.next_sibling()) {
        if (!is(dn, "definedName") ||
            QLatin1String(attr(dn, "name").value()) != QLatin1String("_xlnm.Print_Titles"))
            continue;
        const pugi::xml_attribute local = attr(dn, "localSheetId");
        const int sheet = local ? local.as_int(-1) : -1;
        if (sheet >= 0 && sheet < int(book.sheets.size()))
            readPrintTitles(QString::fromUtf8(dn.child_value()), &book.sheets[size_t(sheet)].print);
    }
    const int active =
        attr(child(child(wb.root, "bookViews"), "workbookView"), "activeTab").as_int(0);
    book.activeSheet = active >= 0 && active < int(book.sheets.size()) ? active : 0;
    return book;
}

std::optional<TWorkbook> ReadWorkbook(const QString& path, QString* error) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        fail(error, f.errorString());
        return std::nullopt;
    }
    if (f.size() > kWorkbookMaxFileBytes) {
        fail(error, QStringLiteral("файл слишком велик"));
        return std::nullopt;
    }
    const QByteArray head = f.peek(8);
    if (head == QByteArray(kCompoundFileMagic, 8)) {
        f.close();
        return readXlsWorkbook(path, error);
    }
    return ReadWorkbookBytes(f.readAll(), error);
}

}  // namespace orvel
