#!/usr/bin/env python3
"""Runs convert-batch on hostile workbooks and says how each went.

    scripts/hostile-workbooks.py CONVERT_BATCH [--only NAME[,NAME...]] [--prefix "wine"]
                                 [--seconds 20] [--list]

Each case is an SPE2024.xlsx or SPE2024.ods, made in a folder of its own under
a temporary directory: a workbook that converts (our header in row 1, one data
row below it, numbers as numbers) but for one hostile part, such as a style
table, a repeat count, a nesting depth or a zip directory far past anything a
spreadsheet program writes. The big parts are written through zipfile's
streaming writer, a chunk at a time, so that no case holds more than a few
MiB in this process, and compress to a few MiB on disk (zip-directory is
written by hand and is about 100 MB: a zip directory does not compress).

`CONVERT_BATCH --folder DIR` then runs on the case's folder, preceded by the
words of --prefix (`--prefix wine` for the Windows build), and is killed
with its process group after --seconds. One line per case:

    name  seconds  peak MiB  exit status  temporary left  first line of output

The peak is the child's own peak resident size. wait4() gives it, but a
child started from this script (subprocess uses vfork) takes the script's
own high-water mark with it through exec (Linux keeps the larger), so the
script lowers its mark to its current size just before the start
(/proc/self/clear_refs) and, where wait4()'s figure does not exceed that
mark, prints instead the child's own VmHWM, read from /proc every 5 ms for
its first half second and every 50 ms after, or "<N" (the mark) when the
child was gone before it could be read (a reading under 1 MiB is one taken
before the program was loaded). With a prefix the child is the prefix's
process (for Wine, the one that becomes the Windows program), so the figure
is that process's alone; the script then also prints, after it, the largest sum of the
resident sizes of every process of the child's process group seen by the
same polling, which for Wine includes the helper processes the run started.

The first line is the first line the program wrote to its standard error
or standard output (both go to one file): its refusal, or "Done."; after
"Could not read ...", the reason on the line that follows is added.

The script exits 1 when any case ran past the limit, crashed (died of a
signal it did not get from us, exited with a status convert-batch never
gives, or Wine reported an unhandled exception, whatever the status), or
left a hidden `.SP*.tmp` in its folder (a run killed at the limit may leave
one too).
Python's standard library only.
"""
import argparse
import os
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import zipfile
import zlib
from pathlib import Path

CHUNK = 1 << 20

SPREADSHEETML = "http://schemas.openxmlformats.org/spreadsheetml/2006/main"
OFFICE_RELS = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
PACKAGE_RELS = "http://schemas.openxmlformats.org/package/2006/relationships"
CONTENT_TYPES = "http://schemas.openxmlformats.org/package/2006/content-types"
SHEET_TYPES = "application/vnd.openxmlformats-officedocument.spreadsheetml"

ODF = "urn:oasis:names:tc:opendocument:xmlns:"
ODS_NAMESPACES = (f'xmlns:office="{ODF}office:1.0" xmlns:table="{ODF}table:1.0" '
                  f'xmlns:text="{ODF}text:1.0" xmlns:style="{ODF}style:1.0" '
                  f'xmlns:number="{ODF}datastyle:1.0" xmlns:fo="{ODF}xsl-fo-compatible:1.0"')
ODS_MIMETYPE = "application/vnd.oasis.opendocument.spreadsheet"

HEADER = ["MAKE", "MODEL", "A1", "B1", "C1", "D1", "E1", "F1", "G1", "OL", "OW", "OH", "WB",
          "TWF", "TWR", "CW", "WDIST", "MYR"]
ROW = ["ACME", "RUNABOUT 2", 12, 345, None, 7, 100, 99, 5, 480, 178, 145, 270, 150, 151, 1250,
       55, 98]
FIRST_PASSED_OVER = len(HEADER)  # column S, the first one after the header's last


# ---------------------------------------------------------------- pieces

def repeat(unit, count):
    """`unit` (str or bytes) `count` times, in chunks of about a MiB."""
    if isinstance(unit, str):
        unit = unit.encode()
    per = max(1, CHUNK // len(unit))
    block = unit * per
    full, rest = divmod(count, per)
    for _ in range(full):
        yield block
    if rest:
        yield unit * rest


def batched(make, count, per=10_000):
    """make(i) for i in range(count), joined a batch at a time."""
    for start in range(0, count, per):
        yield "".join(make(i) for i in range(start, min(count, start + per))).encode()


def feed(out, piece):
    """Writes a piece: str, bytes, or any nesting of iterables of them."""
    if piece is None:
        return
    if isinstance(piece, str):
        out.write(piece.encode())
    elif isinstance(piece, (bytes, bytearray)):
        out.write(piece)
    else:
        for part in piece:
            feed(out, part)


class Book:
    """A zip written part by part, big parts streamed (Zip64 where needed)."""

    def __init__(self, path):
        self.zip = zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, compresslevel=1)

    def stored(self, name, data):
        self.zip.writestr(zipfile.ZipInfo(name, (1980, 1, 1, 0, 0, 0)), data,
                          compress_type=zipfile.ZIP_STORED)

    def part(self, name, *pieces):
        info = zipfile.ZipInfo(name, (1980, 1, 1, 0, 0, 0))
        info.compress_type = zipfile.ZIP_DEFLATED
        with self.zip.open(info, "w", force_zip64=True) as out:
            feed(out, pieces)

    def close(self):
        self.zip.close()


def column(index):
    name = ""
    index += 1
    while index:
        index, rest = divmod(index - 1, 26)
        name = chr(65 + rest) + name
    return name


# ---------------------------------------------------------------- xlsx

def xlsx_cells(values, row):
    cells = []
    for c, value in enumerate(values):
        ref = f"{column(c)}{row}"
        if value is None:
            continue
        if isinstance(value, str):
            cells.append(f'<c r="{ref}" t="inlineStr"><is><t>{value}</t></is></c>')
        else:
            cells.append(f'<c r="{ref}"><v>{value}</v></c>')
    return "".join(cells)


def xlsx_sheet(row_tail=None, rows_after=None, after_data=None, between_rows=None):
    return (f'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
            f'<worksheet xmlns="{SPREADSHEETML}" xmlns:r="{OFFICE_RELS}"><sheetData>'
            f'<row r="1">{xlsx_cells(HEADER, 1)}</row>',
            between_rows,
            f'<row r="2">{xlsx_cells(ROW, 2)}', row_tail, '</row>',
            rows_after, '</sheetData>', after_data, '</worksheet>')


def xlsx_styles(num_fmts=None, xfs=None):
    """styles.xml: cellXfs entry 0 is General; `xfs` adds entries 1, 2, ..."""
    return (f'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
            f'<styleSheet xmlns="{SPREADSHEETML}">',
            ('<numFmts>', num_fmts, '</numFmts>') if num_fmts is not None else None,
            '<fonts count="1"><font><sz val="11"/><name val="Calibri"/></font></fonts>'
            '<fills count="1"><fill><patternFill patternType="none"/></fill></fills>'
            '<borders count="1"><border/></borders>'
            '<cellStyleXfs count="1"><xf numFmtId="0" fontId="0" fillId="0" borderId="0"/>'
            '</cellStyleXfs><cellXfs>'
            '<xf numFmtId="0" fontId="0" fillId="0" borderId="0" xfId="0"/>',
            xfs, '</cellXfs></styleSheet>')


def xf(num_fmt_id):
    return (f'<xf numFmtId="{num_fmt_id}" fontId="0" fillId="0" borderId="0" xfId="0" '
            f'applyNumberFormat="1"/>')


def write_xlsx(path, sheet=None, styles=None, sheets_before=None, rels_before=None):
    book = Book(path)
    book.part("[Content_Types].xml",
              f'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
              f'<Types xmlns="{CONTENT_TYPES}"><Default Extension="rels" '
              f'ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
              f'<Default Extension="xml" ContentType="application/xml"/>'
              f'<Override PartName="/xl/workbook.xml" ContentType="{SHEET_TYPES}.sheet.main+xml"/>'
              f'<Override PartName="/xl/worksheets/sheet1.xml" '
              f'ContentType="{SHEET_TYPES}.worksheet+xml"/>'
              f'<Override PartName="/xl/styles.xml" ContentType="{SHEET_TYPES}.styles+xml"/>'
              f'</Types>')
    book.part("_rels/.rels",
              f'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
              f'<Relationships xmlns="{PACKAGE_RELS}"><Relationship Id="rId1" '
              f'Type="{OFFICE_RELS}/officeDocument" Target="xl/workbook.xml"/></Relationships>')
    book.part("xl/workbook.xml",
              f'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
              f'<workbook xmlns="{SPREADSHEETML}" xmlns:r="{OFFICE_RELS}"><sheets>',
              sheets_before,
              '<sheet name="Data" sheetId="1" r:id="rIdData"/></sheets></workbook>')
    book.part("xl/_rels/workbook.xml.rels",
              f'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
              f'<Relationships xmlns="{PACKAGE_RELS}">',
              rels_before,
              f'<Relationship Id="rIdData" Type="{OFFICE_RELS}/worksheet" '
              f'Target="worksheets/sheet1.xml"/>'
              f'<Relationship Id="rIdStyles" Type="{OFFICE_RELS}/styles" Target="styles.xml"/>'
              f'</Relationships>')
    book.part("xl/worksheets/sheet1.xml", sheet if sheet is not None else xlsx_sheet())
    book.part("xl/styles.xml", styles if styles is not None else xlsx_styles())
    book.close()


# ---------------------------------------------------------------- ods

def ods_cell(value, style=None, repeat_columns=None):
    attributes = ""
    if style:
        attributes += f' table:style-name="{style}"'
    if repeat_columns:
        attributes += f' table:number-columns-repeated="{repeat_columns}"'
    if value is None:
        return f'<table:table-cell{attributes}/>'
    if isinstance(value, str):
        return (f'<table:table-cell{attributes} office:value-type="string">'
                f'<text:p>{value}</text:p></table:table-cell>')
    return (f'<table:table-cell{attributes} office:value-type="float" office:value="{value}">'
            f'<text:p>{value}</text:p></table:table-cell>')


def ods_row(values):
    return "".join(ods_cell(v) for v in values)


def ods_content(automatic_styles=None, row_attributes="", row_cells=None, row_tail=None,
                rows_after=None, between_rows=None):
    return (f'<?xml version="1.0" encoding="UTF-8"?>\n'
            f'<office:document-content {ODS_NAMESPACES} office:version="1.2">'
            f'<office:automatic-styles>', automatic_styles, '</office:automatic-styles>'
            '<office:body><office:spreadsheet><table:table table:name="Data">'
            f'<table:table-row>{ods_row(HEADER)}</table:table-row>',
            between_rows,
            f'<table:table-row{row_attributes}>',
            row_cells if row_cells is not None else ods_row(ROW), row_tail,
            '</table:table-row>', rows_after,
            '</table:table></office:spreadsheet></office:body></office:document-content>')


def write_ods(path, content=None, styles=None):
    book = Book(path)
    book.stored("mimetype", ODS_MIMETYPE)
    book.part("META-INF/manifest.xml",
              f'<?xml version="1.0" encoding="UTF-8"?>\n<manifest:manifest '
              f'xmlns:manifest="{ODF}manifest:1.0" manifest:version="1.2">'
              f'<manifest:file-entry manifest:full-path="/" manifest:media-type="{ODS_MIMETYPE}"/>'
              f'<manifest:file-entry manifest:full-path="content.xml" '
              f'manifest:media-type="text/xml"/>'
              f'<manifest:file-entry manifest:full-path="styles.xml" '
              f'manifest:media-type="text/xml"/></manifest:manifest>')
    book.part("content.xml", content if content is not None else ods_content())
    book.part("styles.xml",
              f'<?xml version="1.0" encoding="UTF-8"?>\n'
              f'<office:document-styles {ODS_NAMESPACES} office:version="1.2"><office:styles>',
              styles, '</office:styles></office:document-styles>')
    book.close()


# ---------------------------------------------------------------- the cases

def control_xlsx(folder):
    write_xlsx(folder / "SPE2024.xlsx")


def control_ods(folder):
    write_ods(folder / "SPE2024.ods")


def ods_repeat(folder):
    # The data row a million times over, each ending in a text cell that
    # stands for 2^30 columns.
    write_ods(folder / "SPE2024.ods", ods_content(
        row_attributes=' table:number-rows-repeated="1048576"',
        row_tail=ods_cell("note", repeat_columns=1073741824)))


def xlsx_chartsheets(folder):
    count = 200_000
    sheets = batched(lambda i: f'<sheet name="Chart{i + 1}" sheetId="{i + 2}" r:id="rIdC{i}"/>',
                     count)
    rels = batched(lambda i: f'<Relationship Id="rIdC{count - 1 - i}" '
                             f'Type="{OFFICE_RELS}/chartsheet" '
                             f'Target="chartsheets/sheet{count - i}.xml"/>', count)
    write_xlsx(folder / "SPE2024.xlsx", sheets_before=sheets, rels_before=rels)


def ods_map(folder):
    styles = ('<number:number-style style:name="N1"><number:text>',
              repeat("~", 200_000),
              '</number:text><number:number number:min-integer-digits="1"/>'
              '</number:number-style>'
              '<number:number-style style:name="N2">'
              '<number:number number:min-integer-digits="1"/>',
              repeat('<style:map style:condition="value()&gt;=0" style:apply-style-name="N1"/>',
                     20_000),
              '</number:number-style>'
              '<style:style style:name="ce1" style:family="table-cell" '
              'style:data-style-name="N2"/>')
    write_ods(folder / "SPE2024.ods", ods_content(automatic_styles=styles,
                                                  row_tail=ods_cell(3, style="ce1")))


def ods_refused_repeat(folder):
    styles = ('<number:date-style style:name="N1"><number:year number:style="long"/>'
              '<number:text>', repeat("-", 1_000_000), '</number:text><number:month/>'
              '</number:date-style>'
              '<style:style style:name="ce1" style:family="table-cell" '
              'style:data-style-name="N1"/>')
    write_ods(folder / "SPE2024.ods", ods_content(
        automatic_styles=styles,
        row_tail=ods_cell(45000, style="ce1", repeat_columns=1073741824)))


def xlsx_long_format(folder):
    code = ('<numFmt numFmtId="164" formatCode="0&quot;', repeat("x", 900_000 - 3),
            '&quot;"/>')
    cells = batched(lambda i: f'<c r="{column(FIRST_PASSED_OVER + i)}2" s="1"><v>{i}</v></c>',
                    16_000)
    write_xlsx(folder / "SPE2024.xlsx", sheet=xlsx_sheet(row_tail=cells),
               styles=xlsx_styles(num_fmts=code, xfs=xf(164)))


def xlsx_cellxfs(folder):
    count = 600_000
    formats = batched(lambda i: f'<numFmt numFmtId="{164 + i}" formatCode="0.0&quot;{i}&quot;"/>',
                      count)
    xfs = batched(lambda i: xf(164 + i), count)
    write_xlsx(folder / "SPE2024.xlsx",
               sheet=xlsx_sheet(row_tail=f'<c r="S2" s="{count}"><v>1</v></c>'),
               styles=xlsx_styles(num_fmts=formats, xfs=xfs))


def ods_parent_chain(folder):
    count = 20_000
    styles = ('<number:number-style style:name="N1">'
              '<number:number number:min-integer-digits="1"/></number:number-style>',
              batched(lambda i: f'<style:style style:name="C{i}" style:family="table-cell" '
                                f'style:parent-style-name="C{i + 1}"/>', count - 1),
              f'<style:style style:name="C{count - 1}" style:family="table-cell" '
              f'style:data-style-name="N1"/>')
    # CW, a column the target takes, in the style at the chain's head.
    cells = "".join(ods_cell(v, style="C0" if HEADER[c] == "CW" else None)
                    for c, v in enumerate(ROW))
    write_ods(folder / "SPE2024.ods", ods_content(row_cells=cells), styles=styles)


def ods_wide_rows(folder):
    row = (f'<table:table-row>{ods_cell("x", repeat_columns=16384)}</table:table-row>')
    write_ods(folder / "SPE2024.ods", ods_content(rows_after=repeat(row, 100_000)))


def deep_xlsx(depth):
    def make(folder):
        cell = ('<c r="S2">', repeat("<a>", depth), repeat("</a>", depth), '</c>')
        write_xlsx(folder / "SPE2024.xlsx", sheet=xlsx_sheet(row_tail=cell))
    return make


def deep_content(folder):
    depth = 1_000_000
    cell = ('<table:table-cell office:value-type="string"><text:p>',
            repeat("<text:span>", depth), "x", repeat("</text:span>", depth),
            '</text:p></table:table-cell>')
    write_ods(folder / "SPE2024.ods", ods_content(row_tail=cell))


def zip_directory(folder):
    """A small workbook whose zip directory holds 2 000 000 more records, each
    under a name of its own and each pointing at the sheet's local header."""
    extra = 2_000_000
    parts = {}

    # The parts of the plain workbook, taken from a zipfile-written one.
    plain = folder / "plain.zip"
    write_xlsx(plain)
    with zipfile.ZipFile(plain) as z:
        for name in z.namelist():
            parts[name] = z.read(name)
    plain.unlink()

    local = []
    directory = []
    offset = 0
    sheet_record = None
    for name, data in parts.items():
        squeeze = zlib.compressobj(6, zlib.DEFLATED, -15)
        packed = squeeze.compress(data) + squeeze.flush()
        crc = zlib.crc32(data)
        encoded = name.encode()
        header = struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0, 8, 0, 0x21, crc, len(packed),
                             len(data), len(encoded), 0)
        record = (crc, len(packed), len(data), offset)
        directory.append(struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, 0, 8, 0, 0x21,
                                     crc, len(packed), len(data), len(encoded), 0, 0, 0, 0, 0,
                                     offset) + encoded)
        if name == "xl/worksheets/sheet1.xml":
            sheet_record = record
        local.append(header + encoded + packed)
        offset += len(header) + len(encoded) + len(packed)
    crc, packed_size, size, sheet_offset = sheet_record
    with open(folder / "SPE2024.xlsx", "wb") as out:
        for piece in local:
            out.write(piece)
        start = offset
        for record in directory:
            out.write(record)
        fixed = struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, 0, 8, 0, 0x21, crc,
                            packed_size, size, 8, 0, 0, 0, 0, 0, sheet_offset)
        per = 50_000
        for first in range(0, extra, per):
            out.write(b"".join(fixed + b"x/%06x" % i
                               for i in range(first, min(extra, first + per))))
        end = out.tell()
        count = len(directory) + extra
        size_of_directory = end - start
        out.write(struct.pack("<IQHHIIQQQQ", 0x06064B50, 44, 45, 45, 0, 0, count, count,
                              size_of_directory, start))
        out.write(struct.pack("<IIQI", 0x07064B50, 0, end, 1))
        out.write(struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, min(count, 0xFFFF),
                              min(count, 0xFFFF), min(size_of_directory, 0xFFFFFFFF),
                              min(start, 0xFFFFFFFF), 0))


def xlsx_formats_1mb(folder):
    count = 1000

    def formats():
        for i in range(count):
            yield f'<numFmt numFmtId="{164 + i}" formatCode="0&quot;'
            yield repeat("y", 1_000_000 - 3 - len(str(i)))
            yield f'{i}&quot;"/>'
    xfs = batched(lambda i: xf(164 + i), count)
    write_xlsx(folder / "SPE2024.xlsx",
               sheet=xlsx_sheet(row_tail=f'<c r="S2" s="{count}"><v>1</v></c>'),
               styles=xlsx_styles(num_fmts=formats(), xfs=xfs))


def xlsx_rels_1mb(folder):
    count = 1000

    def rels():
        for i in range(count):
            yield f'<Relationship Id="rIdX{i}" Type="{OFFICE_RELS}/customXml" Target="../'
            yield repeat("t", 1_000_000 - 8 - len(str(i)))
            yield f'{i}.xml"/>'
    write_xlsx(folder / "SPE2024.xlsx", rels_before=rels())


def ods_style_names(folder):
    count = 1000
    name_length = 1_000_000

    def name(i):
        return ("s" * (name_length - len(str(i)))) + str(i)

    def styles():
        for i in range(count):
            yield '<style:style style:name="'
            yield repeat("s", name_length - len(str(i)))
            yield f'{i}" style:family="table-cell"/>'
    write_ods(folder / "SPE2024.ods", ods_content(
        automatic_styles=styles(), row_tail=ods_cell(1, style=name(count - 1))))


def big_spaces(folder):
    write_ods(folder / "SPE2024.ods",
              ods_content(between_rows=repeat(" ", 2_000_000_000)))


BIG = 100_000_000


def big_comment(folder):
    write_xlsx(folder / "SPE2024.xlsx", sheet=xlsx_sheet(
        between_rows=("<!--", repeat("c", BIG), "-->")))


def big_attribute(folder):
    write_xlsx(folder / "SPE2024.xlsx", sheet=xlsx_sheet(
        row_tail=('<c r="S2" note="', repeat("v", BIG), '"><v>1</v></c>')))


def big_name(folder):
    write_xlsx(folder / "SPE2024.xlsx", sheet=xlsx_sheet(
        row_tail=('<c r="S2"><', repeat("n", BIG), '/></c>')))


def big_inline(folder):
    write_xlsx(folder / "SPE2024.xlsx", sheet=xlsx_sheet(
        row_tail=('<c r="S2" t="inlineStr"><is><t>', repeat("i", BIG), '</t></is></c>')))


CASES = [
    ("control-xlsx", control_xlsx),
    ("control-ods", control_ods),
    ("ods-repeat", ods_repeat),
    ("xlsx-chartsheets", xlsx_chartsheets),
    ("ods-map", ods_map),
    ("ods-refused-repeat", ods_refused_repeat),
    ("xlsx-long-format", xlsx_long_format),
    ("xlsx-cellxfs", xlsx_cellxfs),
    ("ods-parent-chain", ods_parent_chain),
    ("ods-wide-rows", ods_wide_rows),
    ("deep-sheet", deep_xlsx(1_000_000)),
    ("deep-content", deep_content),
    ("deep-10m", deep_xlsx(10_000_000)),
    ("zip-directory", zip_directory),
    ("xlsx-formats-1mb", xlsx_formats_1mb),
    ("xlsx-rels-1mb", xlsx_rels_1mb),
    ("ods-style-names", ods_style_names),
    ("big-spaces", big_spaces),
    ("big-comment", big_comment),
    ("big-attribute", big_attribute),
    ("big-name", big_name),
    ("big-inline", big_inline),
]


# ---------------------------------------------------------------- running

PAGE = os.sysconf("SC_PAGE_SIZE")


def group_resident(group):
    """Sum of the resident sizes of the processes of `group`, in bytes."""
    total = 0
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat", "rb") as f:
                stat = f.read()
            fields = stat[stat.rindex(b")") + 2:].split()
            if int(fields[2]) != group:
                continue
            with open(f"/proc/{entry}/statm", "rb") as f:
                total += int(f.read().split()[1]) * PAGE
        except (OSError, ValueError, IndexError):
            continue
    return total


def resident_kib(pid, field):
    """A VmRSS or VmHWM line of /proc/PID/status, in KiB, or 0."""
    try:
        with open(f"/proc/{pid}/status", "rb") as f:
            for line in f:
                if line.startswith(field.encode() + b":"):
                    return int(line.split()[1])
    except (OSError, ValueError, IndexError):
        pass
    return 0


def first_line(path):
    """The first line of output; after "Could not read", the reason the next
    line gives too (without its file name), after " | "."""
    with open(path, "rb") as f:
        lines = [line.decode("utf-8", "replace").strip()
                 for line in f.read(1 << 16).splitlines()]
    lines = [line for line in lines if line]
    if not lines:
        return ""
    text = lines[0]
    if "Could not read" in text and len(lines) > 1:
        reason = lines[1]
        name = text.split(": ", 1)[0] + ": "
        text += " | " + (reason[len(name):] if reason.startswith(name) else reason)
    return text if len(text) <= 240 else text[:237] + "..."


def faulted(path):
    """Whether Wine said the program faulted: its debugger may let the run
    end with any status, 0 among them."""
    with open(path, "rb") as f:
        return any(line.startswith(b"wine: Unhandled") for line in f.read(1 << 16).splitlines())


def run(command, folder, seconds, output):
    env = dict(os.environ)
    env.setdefault("WINEDEBUG", "-all")
    try:  # lower our high-water mark, which the child starts with
        with open("/proc/self/clear_refs", "w") as f:
            f.write("5")
    except OSError:
        pass
    floor = resident_kib("self", "VmHWM")
    start = time.monotonic()
    with open(output, "wb") as out:
        child = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=out,
                                 stderr=subprocess.STDOUT, start_new_session=True, env=env)
    killed = False
    group_peak = 0
    polled_peak = 0
    while True:
        pid, status, usage = os.wait4(child.pid, os.WNOHANG)
        if pid:
            break
        polled_peak = max(polled_peak, resident_kib(child.pid, "VmHWM"))
        group_peak = max(group_peak, group_resident(child.pid))
        if not killed and time.monotonic() - start > seconds:
            killed = True
            os.killpg(child.pid, signal.SIGKILL)
        time.sleep(0.005 if time.monotonic() - start < 0.5 else 0.05)
    wall = time.monotonic() - start
    child.returncode = os.waitstatus_to_exitcode(status)
    if killed:
        try:  # what the group left behind (a prefix's helpers)
            os.killpg(child.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
    left = sorted(p.name for p in folder.iterdir() if p.name.startswith(".SP")
                  and p.name.endswith(".tmp"))
    return {
        "wall": wall,
        # In KiB, as ru_maxrss is on Linux; a str when only a bound is known.
        "peak": (usage.ru_maxrss if usage.ru_maxrss > floor + 256
                 else polled_peak if polled_peak >= 1024 else f"<{floor / 1024:.1f}"),
        "group": group_peak / (1 << 20),
        "status": status,
        "killed": killed,
        "left": left,
        "first": first_line(output),
        "faulted": faulted(output),
    }


# What convert-batch exits with: done, not converted, usage, interrupted.
EXIT_STATUSES = {0, 1, 2, 130}


def describe(status, killed):
    """The status in words, and whether it is a crash: a signal we did not
    send, or an exit status convert-batch never gives (Wine ends a program
    that faults with one of its own)."""
    if os.WIFSIGNALED(status):
        signal_number = os.WTERMSIG(status)
        if killed and signal_number == signal.SIGKILL:
            return "killed at limit", False
        return f"signal {signal.Signals(signal_number).name}", True
    code = os.WEXITSTATUS(status)
    if code not in EXIT_STATUSES:
        return f"exit {code} (crash)", True
    return f"exit {code}", False


def main():
    parser = argparse.ArgumentParser(description="Run convert-batch on hostile workbooks.")
    parser.add_argument("convert_batch", nargs="?", help="the convert-batch program")
    parser.add_argument("--only", action="append", default=[],
                        help="run only these cases (comma-separated, may be repeated)")
    parser.add_argument("--prefix", default="",
                        help='words to run the program with, such as "wine"')
    parser.add_argument("--seconds", type=float, default=20,
                        help="kill a run after this many seconds (default 20)")
    parser.add_argument("--list", action="store_true", help="list the cases and stop")
    args = parser.parse_args()

    if args.list:
        for name, _ in CASES:
            print(name)
        return 0
    if not args.convert_batch:
        parser.error("CONVERT_BATCH is required")
    wanted = [n for group in args.only for n in group.split(",") if n]
    known = {name for name, _ in CASES}
    unknown = [n for n in wanted if n not in known]
    if unknown:
        parser.error(f"no case {', '.join(unknown)} (--list lists them)")
    program = str(Path(args.convert_batch).resolve())
    prefix = args.prefix.split()

    failed = False
    root = Path(tempfile.mkdtemp(prefix="hostile-workbooks-"))
    try:
        if prefix:
            # A first start of a prefix such as Wine makes its own setup; keep
            # it out of the first case's figures.
            subprocess.run(prefix + [program, "--help"], stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                           env=dict(os.environ, WINEDEBUG=os.environ.get("WINEDEBUG", "-all")),
                           timeout=300, check=False)
        print(f"{'case':<19} {'made s':>6} {'run s':>7} {'peak MiB':>9}"
              f"{'  group MiB' if prefix else ''}  {'status':<16} {'tmp':<4} first line",
              flush=True)
        for name, make in CASES:
            if wanted and name not in wanted:
                continue
            folder = root / name
            folder.mkdir()
            made = time.monotonic()
            make(folder)
            made = time.monotonic() - made
            result = run(prefix + [program, "--folder", str(folder)], folder, args.seconds,
                         root / f"{name}.out")
            status, crashed = describe(result["status"], result["killed"])
            if result["faulted"] and not crashed:
                status, crashed = status + " (fault)", True
            late = result["killed"] or result["wall"] > args.seconds
            failed |= late or crashed or bool(result["left"])
            group = f"  {result['group']:9.1f}" if prefix else ""
            peak = result["peak"]
            peak = peak if isinstance(peak, str) else f"{peak / 1024:.1f}"
            print(f"{name:<19} {made:6.1f} {result['wall']:7.2f} {peak:>9}{group}"
                  f"  {status:<16} {'LEFT' if result['left'] else '-':<4} {result['first']}",
                  flush=True)
            shutil.rmtree(folder, ignore_errors=True)
    finally:
        shutil.rmtree(root, ignore_errors=True)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
