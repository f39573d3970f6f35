#!/usr/bin/env python3
"""Reads a workbook written by Folvane and prints, as JSON, what its tests check.

Usage: read_workbook.py FILE.xlsx

Prints one object:
  sheets      names of the sheets
  dimensions  the first sheet's used range ("A1:K9")
  max_row, max_column
  merged      merged ranges of the sheet, sorted
  widths      column letter -> width, for every column given a width
  rows        one list per row of the used range, one object per cell:
                v   the value (null for an empty cell)
                t   its Python type: "int", "float", "str", "NoneType", ...
                f   the number format
                b   bold
                h   horizontal and vertical alignment ([null, null] when unset)
                border  styles of the left, right, top and bottom edges

String cells are given as a spreadsheet program shows them: "_xHHHH_" stands for
the character U+HHHH (this is how a workbook holds CR and control characters).
openpyxl does that for shared strings but leaves strings stored in the cell as they
are, so the script reads those from the sheet's XML and decodes them once itself.
"""

import json
import re
import sys
import zipfile
import xml.etree.ElementTree as ET

try:
    import openpyxl
except ImportError:  # the test skips on this exit code
    sys.stderr.write("openpyxl is not installed\n")
    sys.exit(3)

MAIN = "{http://schemas.openxmlformats.org/spreadsheetml/2006/main}"
ESCAPED = re.compile("_x([0-9A-Fa-f]{4})_")


def unescape(text):
    return ESCAPED.sub(lambda m: chr(int(m.group(1), 16)), text)


def inline_strings(path, sheet_index):
    """Cell reference -> the stored text of every inline string of the sheet."""
    found = {}
    with zipfile.ZipFile(path) as archive:
        name = "xl/worksheets/sheet%d.xml" % (sheet_index + 1)
        if name not in archive.namelist():
            return found
        with archive.open(name) as stream:
            for _, element in ET.iterparse(stream):
                if element.tag == MAIN + "c" and element.get("t") == "inlineStr":
                    found[element.get("r")] = "".join(
                        t.text or "" for t in element.iter(MAIN + "t"))
                    element.clear()
    return found


def cell_of(cell, raw):
    value = cell.value
    if isinstance(value, str) and cell.coordinate in raw and raw[cell.coordinate] == value:
        value = unescape(value)
    border = cell.border
    return {
        "v": value,
        "t": type(value).__name__,
        "f": cell.number_format,
        "b": bool(cell.font.b),
        "h": [cell.alignment.horizontal, cell.alignment.vertical],
        "border": [border.left.style, border.right.style, border.top.style, border.bottom.style],
    }


def main():
    path = sys.argv[1]
    book = openpyxl.load_workbook(path)
    sheet = book.worksheets[0]
    raw = inline_strings(path, 0)
    report = {
        "sheets": book.sheetnames,
        "dimensions": sheet.dimensions,
        "max_row": sheet.max_row,
        "max_column": sheet.max_column,
        "merged": sorted(str(r) for r in sheet.merged_cells.ranges),
        "widths": {key: dim.width for key, dim in sorted(sheet.column_dimensions.items())
                   if dim.customWidth},
        "rows": [[cell_of(cell, raw) for cell in row] for row in sheet.iter_rows()],
    }
    json.dump(report, sys.stdout, ensure_ascii=True)


if __name__ == "__main__":
    main()
