#!/usr/bin/env python3
"""Writes report.dat, the results workbook template: an Office Open XML
workbook with six sheets (five for a run's results, one for the subscriber
list), their header area and column captions. The program only fills cells.

    python3 make_report_template.py [output]   (default: report.dat beside this file)
"""
import os
import sys
import zipfile
from xml.sax.saxutils import escape

SHEETS = [
    ("Результаты", 16, ["Абонент", "Телефон", "Время", "Попыток", "Результат",
                        "Последний результат", "Комментарий"]),
    ("Оповещённые", 16, ["Абонент", "Телефон", "Время", "Попыток", "Комментарий"]),
    ("Неоповещённые", 16, ["Абонент", "Телефон", "Первый вызов", "Попыток", "Результат",
                           "Комментарий"]),
    ("Неудачные вызовы", 16, ["Абонент", "Телефон", "Время", "Попытка", "Результат"]),
    ("Все вызовы", 16, ["Абонент", "Телефон", "Время", "Попытка", "Результат"]),
    ("Абоненты", 1, ["Абонент", "Телефон", "Время", "Линия", "Комментарий"]),
]
WIDTHS = [34, 18, 14, 10, 22, 22, 30]


def col(n):
    return "ABCDEFGHIJKLMNOPQRSTUVWXYZ"[n - 1]


def sheet_xml(index, caption_row, captions):
    rows = []
    results = caption_row > 1
    if results:
        # The title in A1 is bold and spans the table's width; on sheet 1,
        # cell C1 carries the format the program borders for its data cells.
        c1 = '<c r="C1" s="1"/>' if index == 0 else ''
        rows.append(f'<row r="1"><c r="A1" s="2"/>{c1}</row>')
    cells = "".join(
        f'<c r="{col(i + 1)}{caption_row}" t="inlineStr" s="2"><is><t>{escape(c)}</t></is></c>'
        for i, c in enumerate(captions))
    rows.append(f'<row r="{caption_row}">{cells}</row>')
    cols = "".join(f'<col min="{i + 1}" max="{i + 1}" width="{w}" customWidth="1"/>'
                   for i, w in enumerate(WIDTHS))
    last = col(len(captions))
    merge = f'<mergeCells count="1"><mergeCell ref="A1:{last}1"/></mergeCells>' if results else ''
    # Printed landscape, as wide as the page, the column captions on top of
    # every page: names and results stay on the same sheet of paper.
    return ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
            '<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" '
            'xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships">'
            '<sheetPr><pageSetUpPr fitToPage="1"/></sheetPr>'
            f'<cols>{cols}</cols><sheetData>{"".join(rows)}</sheetData>{merge}'
            '<pageMargins left="0.5" right="0.5" top="0.6" bottom="0.6" header="0.3" footer="0.3"/>'
            '<pageSetup paperSize="9" orientation="landscape" fitToWidth="1" fitToHeight="0"/>'
            '</worksheet>')


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "report.dat")
    n = len(SHEETS)
    ct = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
          '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
          '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
          '<Default Extension="xml" ContentType="application/xml"/>'
          '<Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>'
          '<Override PartName="/xl/styles.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml"/>'
          + "".join(f'<Override PartName="/xl/worksheets/sheet{i + 1}.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/>'
                    for i in range(n)) + '</Types>')
    rels = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
            '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
            '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="xl/workbook.xml"/>'
            '</Relationships>')
    wb = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
          '<workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" '
          'xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships">'
          '<bookViews><workbookView activeTab="0"/></bookViews><sheets>'
          + "".join(f'<sheet name="{escape(name)}" sheetId="{i + 1}" r:id="rId{i + 1}"/>'
                    for i, (name, _, _) in enumerate(SHEETS)) + '</sheets><definedNames>'
          + "".join(f'<definedName name="_xlnm.Print_Titles" localSheetId="{i}">'
                    f"'{escape(name)}'!${row}:${row}</definedName>"
                    for i, (name, row, _) in enumerate(SHEETS))
          + '</definedNames></workbook>')
    wbrels = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
              '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
              + "".join(f'<Relationship Id="rId{i + 1}" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target="worksheets/sheet{i + 1}.xml"/>'
                        for i in range(n))
              + f'<Relationship Id="rId{n + 1}" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles" Target="styles.xml"/>'
              '</Relationships>')
    styles = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
              '<styleSheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">'
              '<fonts count="3"><font><sz val="10"/><name val="Arial"/></font>'
              '<font><sz val="10"/><name val="Arial"/></font>'
              '<font><b/><sz val="10"/><name val="Arial"/></font></fonts>'
              '<fills count="2"><fill><patternFill patternType="none"/></fill>'
              '<fill><patternFill patternType="gray125"/></fill></fills>'
              '<borders count="1"><border><left/><right/><top/><bottom/><diagonal/></border></borders>'
              '<cellStyleXfs count="1"><xf numFmtId="0" fontId="0" fillId="0" borderId="0"/></cellStyleXfs>'
              '<cellXfs count="3"><xf numFmtId="0" fontId="0" fillId="0" borderId="0" xfId="0"/>'
              '<xf numFmtId="0" fontId="1" fillId="0" borderId="0" xfId="0" applyFont="1">'
              '<alignment vertical="top" wrapText="1"/></xf>'
              '<xf numFmtId="0" fontId="2" fillId="0" borderId="0" xfId="0" applyFont="1"/></cellXfs>'
              '<cellStyles count="1"><cellStyle name="Normal" xfId="0" builtinId="0"/></cellStyles>'
              '</styleSheet>')
    tmp = out + ".tmp"
    with zipfile.ZipFile(tmp, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("[Content_Types].xml", ct)
        z.writestr("_rels/.rels", rels)
        z.writestr("xl/workbook.xml", wb)
        z.writestr("xl/_rels/workbook.xml.rels", wbrels)
        z.writestr("xl/styles.xml", styles)
        for i, (name, row, captions) in enumerate(SHEETS):
            z.writestr(f"xl/worksheets/sheet{i + 1}.xml", sheet_xml(i, row, captions))
    os.replace(tmp, out)


if __name__ == "__main__":
    main()
