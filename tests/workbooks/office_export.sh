#!/bin/sh
# office_export.sh TOOL SAMPLE WORK
# The sample workbook, the same workbook saved by LibreOffice as .ods, and
# LibreOffice's own CSV export of it (cells as shown) all convert to one
# target; and a workbook of cells under a merged range and of numbers in
# General gives, read from each, the messages its CSV export gives. Skipped
# (77) where LibreOffice, or Python to write that workbook, is not installed.
set -eu
tool=$1 sample=$2 work=$3
command -v soffice >/dev/null 2>&1 || exit 77
command -v python3 >/dev/null 2>&1 || exit 77
rm -rf "$work"
mkdir -p "$work/xlsx" "$work/ods" "$work/csv"
cp "$sample" "$work/xlsx/SPE2021.xlsx"
# SPE2022: the sample with a first sheet of its own.
python3 - "$sample" "$work/xlsx/SPE2022.xlsx" <<'PY'
import sys, zipfile
header = "MAKE MODEL A1 B1 C1 D1 E1 F1 G1 OL OW OH WB TWF TWR CW WDIST MYR".split()
numbers = ["1E16", "9.9999999999999994E-12", "1.041392685158225", "0.30000000000000004",
           "123456789012344.5", "1E-5", "1.23456789012345678E-6", "9007199254740992", "-1E-15",
           "12345678901234567", "7173112.722621645", "2.5"]
text = lambda ref, t: f'<c r="{ref}" t="inlineStr"><is><t>{t}</t></is></c>'
rows = ['<row r="1">' + "".join(text(f"{chr(65 + i)}1", n) for i, n in enumerate(header)) + "</row>"]
for r, number in enumerate(numbers, 2):
    # A3, under the merged A2:A3, keeps its value.
    make = text(f"A{r}", {2: "ZIPPER", 3: "BOLT"}.get(r, f"MAKE{r}"))
    rows.append(f'<row r="{r}">{make}{text(f"B{r}", "M")}<c r="C{r}"><v>{number}</v></c></row>')
sheet = ('<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><sheetData>'
         + "".join(rows) + '</sheetData><mergeCells count="1"><mergeCell ref="A2:A3"/></mergeCells>'
         "</worksheet>")
with zipfile.ZipFile(sys.argv[1]) as sample, zipfile.ZipFile(sys.argv[2], "w", 8) as book:
    for item in sample.infolist():
        first = item.filename == "xl/worksheets/sheet1.xml"
        book.writestr(item, sheet if first else sample.read(item), 8)
PY
office() {
  soffice "-env:UserInstallation=file://$work/profile" --headless --convert-to "$1" \
    --outdir "$2" "$3" >/dev/null 2>&1
}
# The export's options: comma, quote, UTF-8, from line 1, cells as shown.
as_shown='csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,true'
mkdir -p "$work/ods-csv"
for year in 2021 2022; do
  office ods "$work/ods" "$work/xlsx/SPE$year.xlsx"
  office "$as_shown" "$work/csv" "$work/xlsx/SPE$year.xlsx"
done
# Saved as .ods, numbers keep 15 digits: its own export is the reference.
office "$as_shown" "$work/ods-csv" "$work/ods/SPE2022.ods"
for kind in xlsx ods csv ods-csv; do
  "$tool" --folder "$work/$kind" >/dev/null 2>"$work/$kind.messages" || true
  sed 's/SPE2022\.[a-z]*/SPE2022/I' "$work/$kind.messages" >"$work/$kind.said"
done
cmp "$work/xlsx/SP2021.TXT" "$work/csv/SP2021.TXT"
cmp "$work/ods/SP2021.TXT" "$work/csv/SP2021.TXT"
cmp "$work/xlsx.said" "$work/csv.said"
grep -q BOLT "$work/xlsx.said"
cmp "$work/ods.said" "$work/ods-csv.said"
