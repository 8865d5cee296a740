#include "notify/xlsx_sheet_writer.h"

#include <zip.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>
#include <optional>
#include <pugixml.hpp>
#include <string>

#include "core/safe_file.h"

namespace orvel {

namespace {

// Parts larger than this are deflated at the fastest level.
constexpr size_t kFastDeflateFrom = 1 << 20;

// Collects a serialised part without a stream's copies.
struct StringWriter final : pugi::xml_writer {
    std::string text;
    void write(const void* data, size_t size) override {
        text.append(static_cast<const char*>(data), size);
    }
};

// A libzip archive over bytes in memory.
struct ZipReader {
    zip_t* zip = nullptr;
    ~ZipReader() {
        if (zip)
            zip_discard(zip);
    }
    bool open(const QByteArray& bytes) {
        zip_error_t err;
        zip_error_init(&err);
        zip_source_t* src =
            zip_source_buffer_create(bytes.constData(), zip_uint64_t(bytes.size()), 0, &err);
        if (!src)
            return false;
        zip = zip_open_from_source(src, ZIP_RDONLY, &err);
        if (!zip)
            zip_source_free(src);
        zip_error_fini(&err);
        return zip != nullptr;
    }
    std::optional<QByteArray> read(const QString& name) const {
        zip_stat_t st;
        const QByteArray n = name.toUtf8();
        if (zip_stat(zip, n.constData(), 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE) ||
            st.size > 64 * 1024 * 1024)
            return std::nullopt;
        zip_file_t* f = zip_fopen(zip, n.constData(), 0);
        if (!f)
            return std::nullopt;
        QByteArray out(qsizetype(st.size), '\0');
        const zip_int64_t got = zip_fread(f, out.data(), st.size);
        zip_fclose(f);
        if (got != zip_int64_t(st.size))
            return std::nullopt;
        return out;
    }
};

QString resolve(const QString& base, const QString& target) {
    if (target.startsWith(QLatin1Char('/')))
        return target.mid(1);
    return QDir::cleanPath(base + QLatin1Char('/') + target);
}

int parseColumn(const char* ref, int* row) {
    int col = 0;
    const char* p = ref;
    while (*p >= 'A' && *p <= 'Z')
        col = col * 26 + (*p++ - 'A' + 1);
    *row = atoi(p);
    return col;
}

}  // namespace

QString columnName(int col) {
    QString s;
    while (col > 0) {
        const int r = (col - 1) % 26;
        s.prepend(QChar('A' + r));
        col = (col - 1) / 26;
    }
    return s;
}

TXlsxWorkbook::TXlsxWorkbook() = default;
TXlsxWorkbook::~TXlsxWorkbook() = default;

pugi::xml_document* TXlsxWorkbook::partDoc(const QString& name) {
    for (auto& p : parts_)
        if (p.name == name)
            return p.doc.get();
    ZipReader z;
    if (!z.open(template_))
        return nullptr;
    const auto bytes = z.read(name);
    if (!bytes)
        return nullptr;
    auto doc = std::make_unique<pugi::xml_document>();
    if (!doc->load_buffer(bytes->constData(), size_t(bytes->size())))
        return nullptr;
    parts_.push_back({name, std::move(doc)});
    return parts_.back().doc.get();
}

bool TXlsxWorkbook::open(const QByteArray& bytes, QString* error) {
    template_ = bytes;
    parts_.clear();
    sheets_.clear();
    const auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    ZipReader z;
    if (!z.open(bytes))
        return fail(QStringLiteral("not a zip archive"));
    pugi::xml_document* wb = partDoc(QStringLiteral("xl/workbook.xml"));
    pugi::xml_document* rels = partDoc(QStringLiteral("xl/_rels/workbook.xml.rels"));
    if (!wb || !rels)
        return fail(QStringLiteral("no workbook part"));
    for (pugi::xml_node s : wb->child("workbook").child("sheets").children("sheet")) {
        const char* rid = s.attribute("r:id").value();
        pugi::xml_node rel =
            rels->child("Relationships").find_child_by_attribute("Relationship", "Id", rid);
        if (!rel)
            return fail(QStringLiteral("sheet without a part"));
        sheets_.push_back(
            resolve(QStringLiteral("xl"), QString::fromUtf8(rel.attribute("Target").value())));
        if (!partDoc(sheets_.back()))
            return fail(QStringLiteral("unreadable sheet"));
    }
    if (!partDoc(QStringLiteral("xl/styles.xml")))
        return fail(QStringLiteral("no styles part"));
    if (sheets_.empty())
        return fail(QStringLiteral("no sheets"));
    return true;
}

pugi::xml_node TXlsxWorkbook::cell(int sheet, int row, int col, int style) {
    pugi::xml_document* doc = partDoc(sheets_.at(size_t(sheet)));
    pugi::xml_node data = doc->child("worksheet").child("sheetData");
    if (!data)
        data = doc->child("worksheet").append_child("sheetData");
    pugi::xml_node r;
    // Rows and cells are mostly written in order: appending past the last
    // one needs no search (100,000 rows would otherwise take quadratic time).
    // The same holds for the further cells of the row written last.
    if (pugi::xml_node lastRow = data.last_child()) {
        const int last = lastRow.attribute("r").as_int();
        if (last < row) {
            r = data.append_child("row");
            r.append_attribute("r") = row;
        } else if (last == row) {
            r = lastRow;
        }
    }
    for (pugi::xml_node n = r ? pugi::xml_node() : data.first_child(); n; n = n.next_sibling()) {
        const int rn = n.attribute("r").as_int();
        if (rn == row) {
            r = n;
            break;
        }
        if (rn > row) {
            r = data.insert_child_before("row", n);
            r.append_attribute("r") = row;
            break;
        }
    }
    if (!r) {
        r = data.append_child("row");
        r.append_attribute("r") = row;
    }
    const QByteArray ref = (columnName(col) + QString::number(row)).toLatin1();
    pugi::xml_node c;
    int lastRowNumber = 0;
    if (pugi::xml_node lastCell = r.last_child();
        lastCell && parseColumn(lastCell.attribute("r").value(), &lastRowNumber) < col) {
        c = r.append_child("c");
        c.append_attribute("r") = ref.constData();
    }
    for (pugi::xml_node n = c ? pugi::xml_node() : r.first_child(); n; n = n.next_sibling()) {
        int rn = 0;
        const int cn = parseColumn(n.attribute("r").value(), &rn);
        if (cn == col) {
            c = n;
            break;
        }
        if (cn > col) {
            c = r.insert_child_before("c", n);
            c.append_attribute("r") = ref.constData();
            break;
        }
    }
    if (!c) {
        c = r.append_child("c");
        c.append_attribute("r") = ref.constData();
    }
    // Drop the old content, keep the cell's own format unless told otherwise.
    while (c.first_child())
        c.remove_child(c.first_child());
    c.remove_attribute("t");
    if (style >= 0) {
        if (!c.attribute("s"))
            c.append_attribute("s");
        c.attribute("s") = style;
    }
    return c;
}

int TXlsxWorkbook::cellStyle(int sheet, int row, int col) const {
    if (sheet < 0 || sheet >= sheetCount())
        return 0;
    auto* self = const_cast<TXlsxWorkbook*>(this);
    pugi::xml_document* doc = self->partDoc(sheets_[size_t(sheet)]);
    const QByteArray ref = (columnName(col) + QString::number(row)).toLatin1();
    for (pugi::xml_node r : doc->child("worksheet").child("sheetData").children("row"))
        for (pugi::xml_node c : r.children("c"))
            if (ref == c.attribute("r").value())
                return c.attribute("s").as_int();
    return 0;
}

int TXlsxWorkbook::addBorderedStyle(int style) {
    pugi::xml_node sheet = partDoc(QStringLiteral("xl/styles.xml"))->child("styleSheet");
    pugi::xml_node borders = sheet.child("borders");
    if (!borders)
        borders = sheet.insert_child_after("borders", sheet.child("fills"));
    pugi::xml_node b = borders.append_child("border");
    for (const char* side : {"left", "right", "top", "bottom"}) {
        pugi::xml_node s = b.append_child(side);
        s.append_attribute("style") = "thin";
        s.append_child("color").append_attribute("indexed") = 64;
    }
    b.append_child("diagonal");
    const int borderId =
        int(std::distance(borders.children("border").begin(), borders.children("border").end())) -
        1;
    borders.attribute("count") ? (void)(borders.attribute("count") = borderId + 1)
                               : (void)(borders.append_attribute("count") = borderId + 1);
    pugi::xml_node xfs = sheet.child("cellXfs");
    int index = 0;
    pugi::xml_node base;
    for (pugi::xml_node x : xfs.children("xf")) {
        if (index++ == style)
            base = x;
    }
    pugi::xml_node nx = base ? xfs.append_copy(base) : xfs.append_child("xf");
    for (const char* a : {"numFmtId", "fontId", "fillId", "xfId"})
        if (!nx.attribute(a))
            nx.append_attribute(a) = 0;
    if (!nx.attribute("borderId"))
        nx.append_attribute("borderId");
    nx.attribute("borderId") = borderId;
    if (!nx.attribute("applyBorder"))
        nx.append_attribute("applyBorder");
    nx.attribute("applyBorder") = 1;
    const int count = int(std::distance(xfs.children("xf").begin(), xfs.children("xf").end()));
    if (!xfs.attribute("count"))
        xfs.append_attribute("count");
    xfs.attribute("count") = count;
    return count - 1;
}

void TXlsxWorkbook::setText(int sheet, int row, int col, const QString& text, int style) {
    if (sheet < 0 || sheet >= sheetCount() || row < 1 || col < 1)
        return;
    pugi::xml_node c = cell(sheet, row, col, style);
    c.append_attribute("t") = "inlineStr";
    pugi::xml_node t = c.append_child("is").append_child("t");
    t.append_attribute("xml:space") = "preserve";
    // Characters XML 1.0 cannot carry are dropped.
    QString clean;
    for (QChar ch : text)
        if (ch.unicode() >= 0x20 || ch == QLatin1Char('\t') || ch == QLatin1Char('\n'))
            clean.append(ch);
    t.text().set(clean.toUtf8().constData());
}

void TXlsxWorkbook::setNumber(int sheet, int row, int col, double value, int style) {
    if (sheet < 0 || sheet >= sheetCount() || row < 1 || col < 1)
        return;
    pugi::xml_node c = cell(sheet, row, col, style);
    c.append_child("v").text().set(value);
}

void TXlsxWorkbook::setActiveSheet(int sheet) {
    pugi::xml_node wb = partDoc(QStringLiteral("xl/workbook.xml"))->child("workbook");
    pugi::xml_node views = wb.child("bookViews");
    if (!views)
        views = wb.prepend_child("bookViews");
    pugi::xml_node v = views.child("workbookView");
    if (!v)
        v = views.append_child("workbookView");
    if (!v.attribute("activeTab"))
        v.append_attribute("activeTab");
    v.attribute("activeTab") = sheet;
}

void TXlsxWorkbook::keepOnlySheet(int keep) {
    if (keep < 0 || keep >= sheetCount())
        return;
    pugi::xml_node wb = partDoc(QStringLiteral("xl/workbook.xml"))->child("workbook");
    pugi::xml_node sheets = wb.child("sheets");
    int index = 0;
    for (pugi::xml_node s = sheets.first_child(); s;) {
        const pugi::xml_node next = s.next_sibling();
        if (index++ != keep)
            sheets.remove_child(s);
        s = next;
    }
    // Names that belong to a sheet (print titles, print areas) follow it.
    pugi::xml_node names = wb.child("definedNames");
    for (pugi::xml_node n = names.first_child(); n;) {
        const pugi::xml_node next = n.next_sibling();
        if (pugi::xml_attribute local = n.attribute("localSheetId")) {
            if (local.as_int() == keep)
                local = 0;
            else
                names.remove_child(n);
        }
        n = next;
    }
    if (names && !names.first_child())
        wb.remove_child(names);
    const QString part = sheets_[size_t(keep)];
    sheets_.assign(1, part);
    setActiveSheet(0);
}

bool TXlsxWorkbook::save(const QString& path, QString* error) {
    const auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    // libzip writes through its own temporary file; the finished archive is
    // then moved over the target in one rename.
    const QString aside = asidePathFor(path);
    QFile::remove(aside);
    {
        QFile f(aside);
        if (!f.open(QIODevice::WriteOnly) || f.write(template_) != template_.size() || !f.flush()) {
            const QString why = f.errorString();
            f.close();
            QFile::remove(aside);
            writeFailed(path, why);
            return fail(QStringLiteral("cannot write ") + aside + QStringLiteral(": ") + why);
        }
    }
    int err = 0;
    zip_t* zip = zip_open(QFile::encodeName(aside).constData(), 0, &err);
    if (!zip) {
        QFile::remove(aside);
        return fail(QStringLiteral("cannot open the copy"));
    }
    std::vector<std::string> buffers;
    buffers.reserve(parts_.size());
    for (auto& p : parts_) {
        StringWriter w;
        p.doc->save(w, "", pugi::format_raw);
        buffers.push_back(std::move(w.text));
        const QByteArray n = p.name.toUtf8();
        // A sheet of 100,000 rows is tens of megabytes of XML: the default
        // level spends seconds on it for a file only a little smaller. libzip
        // keeps the template entry's level when an entry is replaced, so a
        // large part goes in as a new entry.
        const bool large = buffers.back().size() > kFastDeflateFrom;
        if (const zip_int64_t old = zip_name_locate(zip, n.constData(), 0); large && old >= 0)
            zip_delete(zip, zip_uint64_t(old));
        zip_source_t* src = zip_source_buffer(zip, buffers.back().data(), buffers.back().size(), 0);
        const zip_int64_t index =
            src ? zip_file_add(zip, n.constData(), src, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8) : -1;
        if (index < 0) {
            if (src)
                zip_source_free(src);
            zip_discard(zip);
            QFile::remove(aside);
            return fail(QStringLiteral("cannot replace ") + p.name);
        }
        if (large)
            zip_set_file_compression(zip, zip_uint64_t(index), ZIP_CM_DEFLATE, 1);
    }
    if (zip_close(zip) != 0) {
        const QString why = QString::fromUtf8(zip_strerror(zip));
        zip_discard(zip);
        QFile::remove(aside);
        writeFailed(path, why);
        return fail(QStringLiteral("cannot finish the workbook: ") + why);
    }
    QString why;
    if (!commitAside(aside, path, &why))
        return fail(QStringLiteral("cannot write ") + path + QStringLiteral(": ") + why);
    return true;
}

}  // namespace orvel
