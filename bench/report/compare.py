#!/usr/bin/env python3
"""Compares the report sheet of two xlsx files cell by cell.

usage: compare.py [--sheet NAME] [--styles] [--max N] A.xlsx B.xlsx
       compare.py --show [--sheet NAME] A.xlsx          (prints a summary of one sheet)
       compare.py --check-db DB [--sheet NAME] A.xlsx   (checks one sheet against the database)

Compared: every cell's value (numbers as numbers, texts, booleans), formulas (blanks outside
quoted texts removed, no leading "="; the cached results of formulas are ignored), number
format codes, merged ranges and custom row heights; with --styles also the resolved fonts,
fills, borders and alignments of every cell. A cell that holds nothing and has no style counts
as absent. Reads the files with the standard library only. Exit status 0 when both sheets
match, 1 when they differ, 2 on usage errors or unreadable files.

--check-db reads the sales table: the order rows must be the query's rows in order (dates as
serial days), and every footer's and the summary's totals, with their formulas evaluated here
(SUM, COUNT, AVERAGE, MAX, MIN, nested, "/"), must equal the SQL aggregates of their region and
of the whole table. This checks one output on its own, the limit's before brelix can run.
"""
import argparse
import re
import sys
import zipfile
import xml.etree.ElementTree as ET

NS = {
    "m": "http://schemas.openxmlformats.org/spreadsheetml/2006/main",
    "r": "http://schemas.openxmlformats.org/officeDocument/2006/relationships",
    "pr": "http://schemas.openxmlformats.org/package/2006/relationships",
}
M = "{%s}" % NS["m"]

# The number formats every spreadsheet knows by id.
BUILTIN_FORMATS = {
    0: "General", 1: "0", 2: "0.00", 3: "#,##0", 4: "#,##0.00", 9: "0%", 10: "0.00%",
    11: "0.00E+00", 12: "# ?/?", 13: "# ??/??", 14: "mm-dd-yy", 15: "d-mmm-yy", 16: "d-mmm",
    17: "mmm-yy", 18: "h:mm AM/PM", 19: "h:mm:ss AM/PM", 20: "h:mm", 21: "h:mm:ss",
    22: "m/d/yy h:mm", 37: "#,##0 ;(#,##0)", 38: "#,##0 ;[Red](#,##0)",
    39: "#,##0.00;(#,##0.00)", 40: "#,##0.00;[Red](#,##0.00)", 45: "mm:ss", 46: "[h]:mm:ss",
    47: "mmss.0", 48: "##0.0E+0", 49: "@",
}


class Sheet:
    """The cells, merges and row heights of one worksheet."""

    def __init__(self, path, sheet_name=None):
        with zipfile.ZipFile(path) as z:
            self.names = z.namelist()
            workbook = ET.fromstring(z.read("xl/workbook.xml"))
            rels = ET.fromstring(z.read("xl/_rels/workbook.xml.rels"))
            targets = {r.get("Id"): r.get("Target") for r in rels.findall("pr:Relationship", NS)}
            sheets = workbook.findall("m:sheets/m:sheet", NS)
            if not sheets:
                raise ValueError("%s has no sheets" % path)
            chosen = sheets[0]
            if sheet_name:
                matches = [s for s in sheets if s.get("name").lower() == sheet_name.lower()]
                if not matches:
                    raise ValueError("%s has no sheet %r" % (path, sheet_name))
                chosen = matches[0]
            self.name = chosen.get("name")
            target = targets[chosen.get("{%s}id" % NS["r"])]
            target = target.lstrip("/") if target.startswith("/") else "xl/" + target
            self.strings = self._shared_strings(z)
            self._styles(z)
            self._cells(z.open(target))

    @staticmethod
    def _text(element):
        """The text of a string item: its t elements, rich text runs included."""
        return "".join(t.text or "" for t in element.iter(M + "t"))

    def _shared_strings(self, z):
        if "xl/sharedStrings.xml" not in self.names:
            return []
        root = ET.fromstring(z.read("xl/sharedStrings.xml"))
        return [self._text(si) for si in root.findall("m:si", NS)]

    def _styles(self, z):
        self.formats = []  # per cellXfs index: number format code
        self.looks = []  # per cellXfs index: (font, fill, border, alignment)
        if "xl/styles.xml" not in self.names:
            return
        root = ET.fromstring(z.read("xl/styles.xml"))
        codes = dict(BUILTIN_FORMATS)
        for nf in root.findall("m:numFmts/m:numFmt", NS):
            codes[int(nf.get("numFmtId"))] = nf.get("formatCode")

        def described(element):
            if element is None:
                return ()
            items = []
            for child in element.iter():
                if child is element:
                    continue
                attrs = tuple(sorted((k, v.upper() if k == "rgb" else v) for k, v in child.attrib.items()))
                items.append((child.tag.replace(M, ""), attrs))
            return tuple(sorted(items))

        fonts = [described(f) for f in root.findall("m:fonts/m:font", NS)]
        fills = [described(f) for f in root.findall("m:fills/m:fill", NS)]
        borders = []
        for b in root.findall("m:borders/m:border", NS):
            sides = []
            for side in ("left", "right", "top", "bottom"):
                s = b.find("m:" + side, NS)
                style = s.get("style") if s is not None else None
                sides.append((side, style or "none"))
            borders.append(tuple(sides))
        for xf in root.findall("m:cellXfs/m:xf", NS):
            self.formats.append(codes.get(int(xf.get("numFmtId", "0")), "id %s" % xf.get("numFmtId")))
            al = xf.find("m:alignment", NS)
            alignment = tuple(sorted(al.attrib.items())) if al is not None else ()
            self.looks.append((
                fonts[int(xf.get("fontId", "0"))] if fonts else (),
                fills[int(xf.get("fillId", "0"))] if fills else (),
                borders[int(xf.get("borderId", "0"))] if borders else (),
                alignment,
            ))

    def _cells(self, stream):
        self.cells = {}  # "A1" -> (value, formula, style index)
        self.heights = {}  # row number -> custom height other than the sheet's default height
        self.merges = set()
        default_height = 15.0
        for event, element in ET.iterparse(stream, events=("end",)):
            tag = element.tag
            if tag == M + "sheetFormatPr" and element.get("defaultRowHeight"):
                default_height = float(element.get("defaultRowHeight"))
            elif tag == M + "c":
                self._cell(element)
                element.clear()
            elif tag == M + "row":
                if element.get("customHeight") in ("1", "true") and element.get("ht"):
                    if float(element.get("ht")) != default_height:
                        self.heights[int(element.get("r"))] = float(element.get("ht"))
                element.clear()
            elif tag == M + "mergeCell":
                self.merges.add(element.get("ref").replace("$", ""))

    def _cell(self, c):
        kind = c.get("t", "n")
        style = int(c.get("s", "0"))
        f = c.find(M + "f")
        v = c.find(M + "v")
        formula = None
        if f is not None and f.text:
            formula = normalize_formula(f.text)
        value = None
        if formula is None:
            if kind == "inlineStr":
                is_ = c.find(M + "is")
                value = self._text(is_) if is_ is not None else ""
            elif v is not None and v.text is not None:
                if kind == "s":
                    value = self.strings[int(v.text)]
                elif kind == "str":
                    value = v.text
                elif kind == "b":
                    value = v.text in ("1", "true")
                elif kind == "e":
                    value = "#error " + v.text
                else:
                    value = float(v.text)
        if value == "":
            value = None
        if value is None and formula is None and style == 0:
            return
        self.cells[c.get("r")] = (value, formula, style)

    def number_format(self, style):
        return self.formats[style] if style < len(self.formats) else "General"

    def look(self, style):
        return self.looks[style] if style < len(self.looks) else ()


def normalize_formula(text):
    """The formula without a leading "=" and without blanks outside quoted texts."""
    text = text.strip()
    if text.startswith("="):
        text = text[1:]
    parts = re.split(r'("(?:[^"]|"")*")', text)
    return "".join(p if p.startswith('"') else re.sub(r"\s+", "", p) for p in parts)


def cell_key(ref):
    m = re.match(r"([A-Z]+)(\d+)$", ref)
    col = 0
    for ch in m.group(1):
        col = col * 26 + ord(ch) - 64
    return int(m.group(2)), col


def compare(a, b, styles, limit):
    differences = []

    def report(text):
        differences.append(text)

    for ref in sorted(set(a.cells) | set(b.cells), key=cell_key):
        va, fa, sa = a.cells.get(ref, (None, None, 0))
        vb, fb, sb = b.cells.get(ref, (None, None, 0))
        if fa != fb:
            report("%s: formula %r / %r" % (ref, fa, fb))
        elif va != vb:
            report("%s: value %r / %r" % (ref, va, vb))
        na, nb = a.number_format(sa), b.number_format(sb)
        if (va is not None or fa is not None) and na != nb:
            report("%s: number format %r / %r" % (ref, na, nb))
        if styles and a.look(sa) != b.look(sb):
            report("%s: style %r / %r" % (ref, a.look(sa), b.look(sb)))
    if a.merges != b.merges:
        report("merged ranges: only in first %s, only in second %s"
               % (sorted(a.merges - b.merges), sorted(b.merges - a.merges)))
    for row in sorted(set(a.heights) | set(b.heights)):
        if a.heights.get(row) != b.heights.get(row):
            report("row %d: height %s / %s" % (row, a.heights.get(row), b.heights.get(row)))
    for line in differences[:limit]:
        print("  " + line)
    if len(differences) > limit:
        print("  ... %d differences in all" % len(differences))
    return not differences


class Evaluator:
    """Computes the formulas of a sheet from its cells: SUM, COUNT, AVERAGE, MAX and MIN over
    cells and ranges, nested calls, and "/" between two terms (what report totals use)."""

    TOKEN = re.compile(r"\s*(?:([A-Z]+\d+)(?::([A-Z]+\d+))?(?![A-Z(])|([A-Z][A-Z0-9.]*)\(|(\d+(?:\.\d*)?)|(.))")

    def __init__(self, sheet):
        self.sheet = sheet
        self.memo = {}

    def cell(self, ref):
        """The number in a cell (formulas evaluated), or None for text and empty cells."""
        if ref in self.memo:
            return self.memo[ref]
        value, formula, _ = self.sheet.cells.get(ref, (None, None, 0))
        result = self.evaluate(formula) if formula is not None else value
        if isinstance(result, bool) or not isinstance(result, float):
            result = None
        self.memo[ref] = result
        return result

    def evaluate(self, formula):
        self.tokens = [t for t in self.TOKEN.findall(formula) if any(t)]
        self.pos = 0
        value = self.expression()
        if self.pos != len(self.tokens):
            raise ValueError("cannot evaluate %r" % formula)
        return float(value)

    def peek(self, symbol):
        return self.pos < len(self.tokens) and self.tokens[self.pos][4] == symbol

    def expression(self):
        value = self.term()
        while self.peek("/"):
            self.pos += 1
            value = value / self.term()
        return value

    def term(self):
        first, last, func, number, symbol = self.tokens[self.pos]
        self.pos += 1
        if number:
            return float(number)
        if func:
            values = []
            while True:
                values.extend(self.argument())
                if self.peek(","):
                    self.pos += 1
                    continue
                if self.peek(")"):
                    self.pos += 1
                    break
                raise ValueError("bad argument list")
            numbers = [v for v in values if v is not None]
            if func == "SUM":
                return sum(numbers)
            if func == "COUNT":
                return float(len(numbers))
            if func == "AVERAGE":
                return sum(numbers) / len(numbers)
            if func == "MAX":
                return max(numbers)
            if func == "MIN":
                return min(numbers)
            raise ValueError("unknown function " + func)
        if first:
            return self.cell(first)
        raise ValueError("unexpected %r" % symbol)

    def argument(self):
        first, last, func, number, symbol = self.tokens[self.pos]
        if first and last:
            self.pos += 1
            (r1, c1), (r2, c2) = cell_key(first), cell_key(last)
            return [self.cell(column_name(c) + str(r)) for r in range(r1, r2 + 1) for c in range(c1, c2 + 1)]
        return [self.term()]


def column_name(col):
    name = ""
    while col:
        col, rest = divmod(col - 1, 26)
        name = chr(65 + rest) + name
    return name


def date_serial(text):
    import datetime
    return float((datetime.date.fromisoformat(text) - datetime.date(1899, 12, 30)).days)


def check_against_db(sheet, db_name, limit):
    """Checks a report sheet against the sales database: the order rows in query order, and the
    totals of every footer and of the summary, their formulas evaluated, against SQL aggregates."""
    import sqlite3
    db = sqlite3.connect("file:%s?mode=ro" % db_name, uri=True)
    problems = []
    rows = {}
    for ref, cell in sheet.cells.items():
        r, c = cell_key(ref)
        rows.setdefault(r, {})[c] = ref
    evaluator = Evaluator(sheet)
    records = db.execute("select region, customer, product, order_no, quantity, unit_price, amount, "
                         "order_date from sales order by region, order_no")
    groups = {g[0]: g[1:] for g in db.execute(
        "select region, count(order_no), sum(quantity), avg(unit_price), sum(amount) from sales group by region")}
    total = db.execute("select count(order_no), sum(quantity), avg(unit_price), sum(amount) from sales").fetchone()

    def close(a, b):
        return a is not None and b is not None and abs(a - b) <= 1e-9 * max(1.0, abs(b))

    def value(r, c):
        ref = column_name(c) + str(r)
        return sheet.cells.get(ref, (None, None, 0))[0]

    def check_totals(r, expected, what):
        for c, want in zip(range(4, 8), expected):
            got = evaluator.cell(column_name(c) + str(r))
            if not close(got, float(want)):
                problems.append("row %d (%s), column %s: %r, expected %r" % (r, what, column_name(c), got, want))

    record_count = footers = 0
    summary = False
    for r in sorted(rows):
        label = value(r, 1)
        if r <= 3 or (isinstance(label, str) and label.startswith("Region: ")):
            continue
        if isinstance(label, str) and label.startswith("Total "):
            footers += 1
            region = label[len("Total "):]
            if region not in groups:
                problems.append("row %d: footer of unknown region %r" % (r, region))
            else:
                check_totals(r, groups[region], label)
            continue
        if label == "Grand total":
            summary = True
            check_totals(r, total, label)
            continue
        record = records.fetchone()
        if record is None:
            problems.append("row %d: more order rows than the database has" % r)
            break
        record_count += 1
        want = list(record[:3]) + [float(x) for x in record[3:7]] + [date_serial(record[7])]
        got = [value(r, c) for c in range(1, 9)]
        if got != want:
            problems.append("row %d: %r, expected %r" % (r, got, want))
    if records.fetchone() is not None:
        problems.append("fewer order rows than the database has")
    if footers != len(groups):
        problems.append("%d footers for %d regions" % (footers, len(groups)))
    if not summary:
        problems.append("no summary row")
    for line in problems[:limit]:
        print("  " + line)
    print("check: %s: %d order rows, %d footers, summary %s: %s" % (
        sheet.name, record_count, footers, "found" if summary else "missing",
        "matches the database" if not problems else "%d PROBLEMS" % len(problems)))
    return not problems


def show(sheet):
    formulas = sum(1 for v in sheet.cells.values() if v[1] is not None)
    values = sum(1 for v in sheet.cells.values() if v[0] is not None)
    rows = max((cell_key(r)[0] for r in sheet.cells), default=0)
    print("sheet %s: %d rows, %d cells with values, %d formulas, merges %s, %d custom row heights"
          % (sheet.name, rows, values, formulas, sorted(sheet.merges), len(sheet.heights)))
    for ref in sorted(sheet.cells, key=cell_key):
        if cell_key(ref)[0] == rows and sheet.cells[ref][1]:
            print("  %s = %s" % (ref, sheet.cells[ref][1][:120]))


def main():
    parser = argparse.ArgumentParser(description="Compares the report sheets of two xlsx files.")
    parser.add_argument("--sheet", help="sheet name (default: the first sheet)")
    parser.add_argument("--styles", action="store_true", help="compare fonts, fills, borders, alignment too")
    parser.add_argument("--max", type=int, default=20, help="differences to print (default 20)")
    parser.add_argument("--show", action="store_true", help="summarise one file instead")
    parser.add_argument("--check-db", metavar="DB",
                        help="check one file against the sales database instead (formulas evaluated)")
    parser.add_argument("files", nargs="+")
    args = parser.parse_args()
    try:
        if args.check_db:
            if len(args.files) != 1:
                parser.error("one file to check")
            return 0 if check_against_db(Sheet(args.files[0], args.sheet), args.check_db, args.max) else 1
        if args.show:
            for name in args.files:
                show(Sheet(name, args.sheet))
            return 0
        if len(args.files) != 2:
            parser.error("two files to compare")
        a, b = Sheet(args.files[0], args.sheet), Sheet(args.files[1], args.sheet)
    except (OSError, KeyError, ValueError, zipfile.BadZipFile, ET.ParseError) as error:
        print("compare: %s" % error, file=sys.stderr)
        return 2
    same = compare(a, b, args.styles, args.max)
    print("compare: %s: %d cells, %s" % (a.name, len(a.cells), "same cells" if same else "DIFFERENT"))
    return 0 if same else 1


if __name__ == "__main__":
    sys.exit(main())
