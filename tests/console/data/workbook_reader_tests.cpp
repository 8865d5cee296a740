// The workbook reader over workbooks built part by part: what it gives for
// each kind of cell, format and size, and how it meets hostile input.
#include <gtest/gtest.h>
#include <zip.h>

#include <QFile>
#include <QTemporaryDir>
#include <map>

#include "data/workbook_reader.h"
#include "test_support.h"

namespace orvel {
namespace {

constexpr char kNs[] =
    "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
    "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"";

// Parts by name -> archive bytes.
QByteArray zipParts(const std::map<std::string, std::string>& parts) {
    QTemporaryDir dir;
    const QByteArray path = (dir.path() + QStringLiteral("/book.xlsx")).toUtf8();
    int err = 0;
    zip_t* z = zip_open(path.constData(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    EXPECT_NE(z, nullptr);
    for (const auto& [name, body] : parts) {
        zip_source_t* src = zip_source_buffer(z, body.data(), body.size(), 0);
        zip_file_add(z, name.c_str(), src, ZIP_FL_OVERWRITE);
    }
    EXPECT_EQ(zip_close(z), 0);
    return test::readAll(QString::fromUtf8(path));
}

std::string sheetXml(const std::string& inside) {
    return std::string("<worksheet ") + kNs + ">" + inside + "</worksheet>";
}

// A workbook of the given sheet bodies with optional shared strings, styles
// and extra workbook content.
std::map<std::string, std::string> bookParts(const std::vector<std::string>& sheets,
                                             const std::string& sst = {},
                                             const std::string& styles = {},
                                             const std::string& workbookExtra = {}) {
    std::map<std::string, std::string> p;
    p["[Content_Types].xml"] = "<Types/>";
    p["_rels/.rels"] =
        "<Relationships><Relationship Id=\"rId1\" "
        "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
        "officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>";
    std::string wb = std::string("<workbook ") + kNs + ">" + workbookExtra + "<sheets>";
    std::string rels = "<Relationships>";
    for (size_t i = 0; i < sheets.size(); ++i) {
        const std::string n = std::to_string(i + 1);
        wb += "<sheet name=\"Лист" + n + "\" sheetId=\"" + n + "\" r:id=\"rId" + n + "\"/>";
        rels += "<Relationship Id=\"rId" + n +
                "\" Type=\"http://x/worksheet\" Target=\"worksheets/sheet" + n + ".xml\"/>";
        p["xl/worksheets/sheet" + n + ".xml"] = sheets[i];
    }
    wb += "</sheets>";
    wb += "</workbook>";
    if (!sst.empty()) {
        rels +=
            "<Relationship Id=\"rS\" Type=\"http://x/sharedStrings\" "
            "Target=\"sharedStrings.xml\"/>";
        p["xl/sharedStrings.xml"] = sst;
    }
    if (!styles.empty()) {
        rels += "<Relationship Id=\"rT\" Type=\"http://x/styles\" Target=\"/xl/styles.xml\"/>";
        p["xl/styles.xml"] = styles;
    }
    rels += "</Relationships>";
    p["xl/workbook.xml"] = wb;
    p["xl/_rels/workbook.xml.rels"] = rels;
    return p;
}

std::optional<TWorkbook> read(const std::map<std::string, std::string>& parts,
                              QString* error = nullptr) {
    return ReadWorkbookBytes(zipParts(parts), error);
}

const char kStyles[] =
    "<styleSheet><numFmts count=\"2\"><numFmt numFmtId=\"164\" formatCode=\"dd/mm/yyyy hh:mm\"/>"
    "<numFmt numFmtId=\"165\" formatCode=\"&quot;d&quot;0.00\"/></numFmts>"
    "<fonts><font/><font><b/></font><font><i val=\"1\"/><b val=\"0\"/></font></fonts>"
    "<borders><border/><border><left style=\"thin\"/><right style=\"medium\"/>"
    "<top style=\"thick\"/><bottom style=\"double\"/></border></borders>"
    "<cellXfs><xf/><xf fontId=\"1\" borderId=\"1\"/><xf fontId=\"2\" numFmtId=\"14\"/>"
    "<xf numFmtId=\"164\"><alignment horizontal=\"center\" wrapText=\"1\"/></xf>"
    "<xf numFmtId=\"165\"/><xf borderId=\"1\"/></cellXfs></styleSheet>";

TEST(WorkbookReader, ReadsValuesFormatsAndSizesOfEverySheet) {
    const std::string sst =
        "<sst><si><t>Иванов И.И.</t></si><si><r><t>Жир</t></r><r><t xml:space=\"preserve\"> "
        "текст</t></r><rPh><t>x</t></rPh></si></sst>";
    const std::string sheet1 = sheetXml(
        "<sheetPr><pageSetUpPr fitToPage=\"1\"/></sheetPr>"
        "<sheetFormatPr defaultRowHeight=\"15\"/>"
        "<cols><col min=\"1\" max=\"1\" width=\"34\" customWidth=\"1\"/>"
        "<col min=\"2\" max=\"3\" width=\"12.5\"/></cols><sheetData>"
        "<row r=\"1\" ht=\"30\" customHeight=\"1\"><c r=\"A1\" t=\"s\" s=\"1\"><v>0</v></c>"
        "<c r=\"B1\" t=\"s\"><v>1</v></c><c r=\"C1\"><v>2.5</v></c></row>"
        "<row r=\"3\"><c r=\"A3\" s=\"2\"><v>45000</v></c><c r=\"B3\" s=\"3\"><v>45000.5</v></c>"
        "<c r=\"C3\" s=\"4\"><v>7</v></c><c r=\"D3\" t=\"inlineStr\"><is><t>в строке</t></is></c>"
        "<c r=\"E3\" t=\"b\"><v>1</v></c><c r=\"F3\" t=\"e\"><v>#DIV/0!</v></c>"
        "<c r=\"G3\" t=\"str\"><f>A1</f><v>формула</v></c></row>"
        "<row r=\"5\"><c r=\"B5\" s=\"5\"/><c r=\"C5\" s=\"0\"/></row>"
        "<row r=\"7\"><c s=\"0\"><v>1</v></c><c><v>2</v></c></row>"
        "</sheetData><mergeCells count=\"1\"><mergeCell ref=\"A1:C1\"/></mergeCells>"
        "<pageMargins left=\"0.5\" right=\"0.4\" top=\"1\" bottom=\"1\" header=\"0\" footer=\"0\"/>"
        "<pageSetup orientation=\"landscape\" fitToWidth=\"1\" fitToHeight=\"0\"/>");
    const std::string sheet2 =
        sheetXml("<sheetData><row r=\"2\"><c r=\"B2\"><v>-1.25</v></c></row></sheetData>");
    const std::string extra = "<workbookPr/><bookViews><workbookView activeTab=\"1\"/></bookViews>";
    auto parts = bookParts({sheet1, sheet2}, sst, kStyles, extra);
    // Print titles come after the sheets in the workbook part.
    std::string& wb = parts["xl/workbook.xml"];
    wb.insert(wb.find("</workbook>"),
              "<definedNames><definedName name=\"_xlnm.Print_Titles\" localSheetId=\"0\">"
              "'Лист1'!$1:$2</definedName></definedNames>");
    QString error;
    const auto book = read(parts, &error);
    ASSERT_TRUE(book) << error.toStdString();
    ASSERT_EQ(book->sheets.size(), 2u);
    EXPECT_EQ(book->activeSheet, 1);
    const TWorkbookSheet& s = book->sheets[0];
    EXPECT_EQ(s.name, QStringLiteral("Лист1"));

    const TWorkbookCell* a1 = s.cell(1, 1);
    ASSERT_TRUE(a1);
    EXPECT_EQ(a1->kind, TCellKind::Text);
    EXPECT_EQ(a1->text, QStringLiteral("Иванов И.И."));
    EXPECT_TRUE(a1->bold);
    EXPECT_FALSE(a1->italic);
    EXPECT_EQ(a1->borders.left, TBorderLine::Thin);
    EXPECT_EQ(a1->borders.right, TBorderLine::Medium);
    EXPECT_EQ(a1->borders.top, TBorderLine::Thick);
    EXPECT_EQ(a1->borders.bottom, TBorderLine::Double);
    EXPECT_EQ(s.cell(1, 2)->text, QStringLiteral("Жир текст"));
    EXPECT_EQ(s.cell(1, 3)->kind, TCellKind::Number);
    EXPECT_EQ(s.cell(1, 3)->displayText(), QStringLiteral("2,5"));

    const TWorkbookCell* a3 = s.cell(3, 1);
    EXPECT_EQ(a3->kind, TCellKind::Date);
    EXPECT_EQ(a3->date, QDateTime(QDate(2023, 3, 15), QTime(0, 0)));
    EXPECT_EQ(a3->displayText(), QStringLiteral("15.03.2023"));
    EXPECT_TRUE(a3->italic);
    EXPECT_FALSE(a3->bold);
    EXPECT_EQ(s.cell(3, 2)->kind, TCellKind::Date);
    EXPECT_EQ(s.cell(3, 2)->displayText(), QStringLiteral("15.03.2023 12:00:00"));
    EXPECT_EQ(s.cell(3, 2)->align, THorizontalAlign::Center);
    EXPECT_TRUE(s.cell(3, 2)->wrap);
    // "d" in quotes is text, not a day: the number stays a number.
    EXPECT_EQ(s.cell(3, 3)->kind, TCellKind::Number);
    EXPECT_EQ(s.cell(3, 4)->text, QStringLiteral("в строке"));
    EXPECT_EQ(s.cell(3, 5)->kind, TCellKind::Boolean);
    EXPECT_EQ(s.cell(3, 6)->kind, TCellKind::Error);
    EXPECT_EQ(s.cell(3, 6)->text, QStringLiteral("#DIV/0!"));
    EXPECT_EQ(s.cell(3, 7)->text, QStringLiteral("формула"));

    // An empty cell with borders is kept (the grid draws it), one without is not.
    ASSERT_TRUE(s.cell(5, 2));
    EXPECT_EQ(s.cell(5, 2)->kind, TCellKind::Empty);
    EXPECT_FALSE(s.cell(5, 3));
    // Cells without a reference follow one another from column 1.
    EXPECT_EQ(s.cell(7, 1)->number, 1);
    EXPECT_EQ(s.cell(7, 2)->number, 2);
    EXPECT_EQ(s.rowCount, 7);
    EXPECT_EQ(s.columnCount, 7);

    ASSERT_EQ(s.merged.size(), 1u);
    EXPECT_TRUE(s.merged[0].contains(1, 3));
    EXPECT_FALSE(s.merged[0].contains(2, 1));
    EXPECT_DOUBLE_EQ(s.columnWidth(1), 34);
    EXPECT_DOUBLE_EQ(s.columnWidth(3), 12.5);
    EXPECT_DOUBLE_EQ(s.columnWidth(4), s.defaultColumnWidth);
    EXPECT_DOUBLE_EQ(s.rowHeight(1), 30);
    EXPECT_DOUBLE_EQ(s.rowHeight(2), 15);

    EXPECT_TRUE(s.print.landscape);
    EXPECT_EQ(s.print.fitWidth, 1);
    EXPECT_EQ(s.print.fitHeight, 0);
    EXPECT_EQ(s.print.repeatFirstRow, 1);
    EXPECT_EQ(s.print.repeatLastRow, 2);
    EXPECT_DOUBLE_EQ(s.print.marginLeft, 0.5);

    const TWorkbookSheet& s2 = book->sheets[1];
    EXPECT_EQ(s2.cell(2, 2)->displayText(), QStringLiteral("-1,25"));
    EXPECT_FALSE(s2.print.landscape);
    EXPECT_EQ(s2.print.fitWidth, 0);
    EXPECT_EQ(s2.print.repeatFirstRow, 0);
}

TEST(WorkbookReader, PrefixedElementsAndUnsortedCellsAreReadInOrder) {
    const std::string sheet =
        "<x:worksheet xmlns:x=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
        "<x:sheetData><x:row r=\"4\"><x:c r=\"C4\"><x:v>3</x:v></x:c>"
        "<x:c r=\"A4\"><x:v>1</x:v></x:c><x:c r=\"A4\"><x:v>9</x:v></x:c></x:row>"
        "<x:row r=\"2\"><x:c r=\"B2\"><x:v>2</x:v></x:c></x:row></x:sheetData></x:worksheet>";
    const auto book = read(bookParts({sheet}));
    ASSERT_TRUE(book);
    const auto& cells = book->sheets[0].cells;
    ASSERT_EQ(cells.size(), 3u);
    EXPECT_EQ(cells[0].row, 2);
    EXPECT_EQ(cells[1].col, 1);
    EXPECT_EQ(cells[1].number, 9);  // the later of two values of one cell
    EXPECT_EQ(cells[2].col, 3);
}

TEST(WorkbookReader, MissingSharedStringsReadAsEmptyCells) {
    const std::string sheet = sheetXml(
        "<sheetData><row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>7</v></c>"
        "<c r=\"C1\" t=\"s\"><v>-1</v></c><c r=\"D1\" t=\"s\"><v>x</v></c>"
        "<c r=\"E1\"><v>5</v></c></row></sheetData>");
    const auto with = read(bookParts({sheet}, "<sst><si><t>один</t></si></sst>"));
    ASSERT_TRUE(with);
    EXPECT_EQ(with->sheets[0].cell(1, 1)->text, QStringLiteral("один"));
    EXPECT_FALSE(with->sheets[0].cell(1, 2));
    EXPECT_FALSE(with->sheets[0].cell(1, 3));
    EXPECT_FALSE(with->sheets[0].cell(1, 4));
    EXPECT_EQ(with->sheets[0].cell(1, 5)->number, 5);

    const auto without = read(bookParts({sheet}));
    ASSERT_TRUE(without);
    EXPECT_EQ(without->sheets[0].cells.size(), 1u);
}

TEST(WorkbookReader, MillionEmptyRowsAreReadWithoutKeepingThem) {
    std::string rows = "<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>";
    rows.reserve(40'000'000);
    for (int r = 2; r <= kWorkbookMaxRows; ++r)
        rows += "<row r=\"" + std::to_string(r) + "\" ht=\"20\"/>";
    const auto book = read(bookParts({sheetXml("<sheetData>" + rows + "</sheetData>")}));
    ASSERT_TRUE(book);
    const TWorkbookSheet& s = book->sheets[0];
    EXPECT_EQ(s.rowCount, 1);
    EXPECT_EQ(s.cells.size(), 1u);
    EXPECT_LE(s.rowHeights.size(), 1u);
    // One more row is outside the sheet and refused.
    const std::string beyond = "<row r=\"" + std::to_string(kWorkbookMaxRows + 1) + "\"/>";
    QString error;
    EXPECT_FALSE(read(bookParts({sheetXml("<sheetData>" + beyond + "</sheetData>")}), &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST(WorkbookReader, HostileArchivesAndPartsAreRefusedWithAReason) {
    const std::string good =
        sheetXml("<sheetData><row r=\"1\"><c r=\"A1\"><v>1</v></c></row></sheetData>");
    struct Case {
        const char* what;
        std::map<std::string, std::string> parts;
    };
    std::vector<Case> cases;
    {
        auto p = bookParts({good});
        p["xl/worksheets/sheet1.xml"] =
            "<worksheet><sheetData><row r=\"1\"><c r=\"A1\"><v>1</v></c>";
        cases.push_back({"broken sheet XML", p});
    }
    {
        auto p = bookParts({good});
        p["xl/workbook.xml"] = "<workbook><sheets><sheet name=\"a\" r:id=\"rId1\"";
        cases.push_back({"broken workbook XML", p});
    }
    {
        auto p = bookParts({good}, "<sst><si><t>a</t></si");
        cases.push_back({"broken shared strings", p});
    }
    {
        auto p = bookParts({good});
        p.erase("xl/worksheets/sheet1.xml");
        cases.push_back({"sheet part missing", p});
    }
    {
        auto p = bookParts({good});
        p.erase("xl/workbook.xml");
        cases.push_back({"workbook part missing", p});
    }
    cases.push_back({"no sheets", bookParts({})});
    cases.push_back(
        {"cell beyond the last column",
         bookParts(
             {sheetXml("<sheetData><row r=\"1\"><c r=\"XFE1\"><v>1</v></c></row></sheetData>")})});
    cases.push_back({"cell reference of another row",
                     bookParts({sheetXml(
                         "<sheetData><row r=\"1\"><c r=\"A2\"><v>1</v></c></row></sheetData>")})});
    for (const Case& c : cases) {
        QString error;
        EXPECT_FALSE(read(c.parts, &error)) << c.what;
        EXPECT_FALSE(error.isEmpty()) << c.what;
    }
    QString error;
    EXPECT_FALSE(ReadWorkbookBytes(QByteArray("PK\3\4 not really a zip"), &error));
    EXPECT_FALSE(ReadWorkbookBytes(QByteArray(), &error));
    EXPECT_FALSE(ReadWorkbook(QStringLiteral("/nonexistent/book.xlsx"), &error));
}

TEST(WorkbookReader, ZipBombStopsAtThePartLimit) {
    // A sheet that inflates past the limit from a few hundred kilobytes.
    std::string huge(size_t(kWorkbookMaxPartBytes) + 1024, ' ');
    const std::string head = std::string("<worksheet ") + kNs + "><sheetData>";
    huge.replace(0, head.size(), head);
    QString error;
    const QByteArray zipped = zipParts(bookParts({huge}));
    EXPECT_LT(zipped.size(), 2 * 1024 * 1024);
    EXPECT_FALSE(ReadWorkbookBytes(zipped, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("слишком велика"))) << error.toStdString();
}

TEST(WorkbookReader, DateSerialsConvertBothWays) {
    EXPECT_EQ(workbookSerialToDateTime(1), QDateTime(QDate(1899, 12, 31), QTime(0, 0)));
    EXPECT_EQ(workbookSerialToDateTime(45000.25), QDateTime(QDate(2023, 3, 15), QTime(6, 0)));
    EXPECT_EQ(workbookSerialToDateTime(0, true), QDateTime(QDate(1904, 1, 1), QTime(0, 0)));
    EXPECT_FALSE(workbookSerialToDateTime(1e300).isValid());
    EXPECT_FALSE(workbookSerialToDateTime(std::nan("")).isValid());
    EXPECT_DOUBLE_EQ(workbookDateTimeToSerial(QDateTime(QDate(2023, 3, 15), QTime(18, 0))),
                     45000.75);
}

TEST(WorkbookReader, OlderExcelFilesGiveTheirValues) {
    // Saved from a results workbook by a spreadsheet program as Excel 97.
    const QString path = QStringLiteral(ORVEL_TEST_DATA_DIR "/results97.xls");
    QString error;
    const auto book = ReadWorkbook(path, &error);
    ASSERT_TRUE(book) << error.toStdString();
    ASSERT_GE(book->sheets.size(), 2u);
    const TWorkbookSheet& s = book->sheets[0];
    EXPECT_EQ(s.name, QStringLiteral("Результаты"));
    ASSERT_TRUE(s.cell(16, 1));
    EXPECT_EQ(s.cell(16, 1)->text, QStringLiteral("Абонент"));
    ASSERT_TRUE(s.cell(17, 4));
    EXPECT_EQ(s.cell(17, 4)->kind, TCellKind::Number);
    EXPECT_EQ(s.cell(17, 4)->number, 2);

    // A compound file that is not a workbook is refused.
    QTemporaryDir dir;
    const QString bad = dir.path() + QStringLiteral("/bad.xls");
    test::writeAll(bad, QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + QByteArray(600, 'x'));
    EXPECT_FALSE(ReadWorkbook(bad, &error));
    EXPECT_FALSE(error.isEmpty());
}

}  // namespace
}  // namespace orvel
