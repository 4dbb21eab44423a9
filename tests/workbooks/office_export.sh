#!/bin/sh
# office_export.sh TOOL SAMPLE WORK
# The sample workbook, the same workbook saved by LibreOffice as .ods, and
# LibreOffice's own CSV export of it all convert to one target. Skipped
# (77) where LibreOffice is not installed.
set -eu
tool=$1 sample=$2 work=$3
command -v soffice >/dev/null 2>&1 || exit 77
rm -rf "$work"
mkdir -p "$work/xlsx" "$work/ods" "$work/csv"
cp "$sample" "$work/xlsx/SPE2021.xlsx"
office() {
  soffice "-env:UserInstallation=file://$work/profile" --headless --convert-to "$1" \
    --outdir "$2" "$work/xlsx/SPE2021.xlsx" >/dev/null 2>&1
}
office ods "$work/ods"
office csv "$work/csv"
for kind in xlsx ods csv; do
  "$tool" --folder "$work/$kind" >/dev/null
done
cmp "$work/xlsx/SP2021.TXT" "$work/csv/SP2021.TXT"
cmp "$work/ods/SP2021.TXT" "$work/csv/SP2021.TXT"
