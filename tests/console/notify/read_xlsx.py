#!/usr/bin/env python3
"""Prints every non-empty cell of a workbook as "sheet<TAB>cell<TAB>value",
plus "border<TAB>sheet<TAB>cell" for cells with a thin border on all sides.
An independent reader for the workbook tests."""
import sys

import openpyxl

wb = openpyxl.load_workbook(open(sys.argv[1], "rb"))
print("sheets\t%d\t%d" % (len(wb.worksheets), wb.active.title == wb.worksheets[0].title))
for i, ws in enumerate(wb.worksheets):
    for row in ws.iter_rows():
        for c in row:
            if c.value is None or c.value == "":
                continue
            v = c.value
            if isinstance(v, float) and v.is_integer():
                v = int(v)
            print("%d\t%s\t%s" % (i + 1, c.coordinate, v))
            b = c.border
            if all(s is not None and s.style == "thin" for s in (b.left, b.right, b.top, b.bottom)):
                print("border\t%d\t%s" % (i + 1, c.coordinate))
