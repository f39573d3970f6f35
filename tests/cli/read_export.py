#!/usr/bin/env python3
"""Reads an export of folvane-cli with readers nobody on the project wrote and prints
{"header": [...], "rows": [[name, size], ...]} as JSON: the File Name and File Size
cells of every data row, in file order. Usage: read_export.py csv|html|xml|xlsx FILE"""
import csv
import json
import sys


def read_csv(path):
    with open(path, newline="", encoding="utf-8") as f:
        records = list(csv.reader(f, strict=True))
    if not records:
        return [], []
    header = records[0]
    for record in records[1:]:
        if len(record) != len(header):
            raise SystemExit("a record of %d fields under a header of %d" % (len(record), len(header)))
    return header, records[1:]


def read_html(path):
    import html5lib
    with open(path, "rb") as f:
        document = html5lib.parse(f, namespaceHTMLElements=False)
    scripts = document.findall(".//script")
    if scripts:
        raise SystemExit("the page runs %d script(s)" % len(scripts))
    table = []
    for tr in document.iter("tr"):
        table.append(["".join(td.itertext()).replace("\xa0", "") for td in tr.findall("td")])
    if not table:
        return [], []
    return table[0], table[1:]


def read_xml(path):
    import xml.etree.ElementTree as ET
    root = ET.parse(path).getroot()
    if root.tag != "fileinfo":
        raise SystemExit("the root is " + root.tag)
    header = ["File Name", "File Size"]
    rows = [[e.get("FileName", ""), e.get("FileBytes", "")] for e in root.iter("file")]
    return header, rows


def read_xlsx(path):
    import openpyxl
    from openpyxl.utils.escape import unescape
    sheet = openpyxl.load_workbook(path).worksheets[0]
    # The format writes control characters such as CR as _x000D_; spreadsheet programs
    # decode that, this reader leaves it to its caller.
    values = [[unescape(v) if isinstance(v, str) else v for v in r] for r in sheet.iter_rows(values_only=True)]
    header = ["" if v is None else str(v) for v in values[1]]
    rows = []
    for r in values[2:]:
        rows.append(["" if v is None else (str(int(v)) if isinstance(v, (int, float)) and float(v).is_integer() else str(v))
                     for v in r])
    return header, rows


def main():
    kind, path = sys.argv[1], sys.argv[2]
    header, rows = {"csv": read_csv, "html": read_html, "xml": read_xml, "xlsx": read_xlsx}[kind](path)
    name, size = header.index("File Name"), header.index("File Size")
    json.dump({"header": header, "rows": [[r[name], r[size]] for r in rows]}, sys.stdout)


main()
