#!/usr/bin/env python3
"""Writes samples/SPE2021.xlsx, the sample workbook: the 2021 models on a
first sheet (numbers as numbers, a notes column, a value in a fixed-digits
format, a formula with its saved value), and a second sheet that Convert
passes over. Python's standard library only; the result is kept in the
repository, so run this only to change it."""
import zipfile
from pathlib import Path

MAIN = "http://schemas.openxmlformats.org/"
HEADER = ["MAKE", "MODEL", "A1", "B1", "C1", "D1", "E1", "F1", "G1", "OL", "OW", "OH", "WB",
          "TWF", "TWR", "CW", "WDIST", "MYR", "NOTES"]
ROWS = [
    ["Alder", "Ridgeway LX", "4DS", "FWD", "GAS", 5, "A6", 16, 2, 462, 182, 147, 271, 157, 158,
     1420, "60/40", 21, "unchanged"],
    ["Brant", "Coupe 2.0", "2DC", "RWD", "GAS", 4, "M6", 18, 2, 438, 179, 132, 262, 154, 156,
     1390, "52/48", 21, "new wheels\nfrom May"],
    ["Corvale", "Tessa", "5DH", "FWD", "ELE", 5, "A1", 17, 1, 421, 178, 156, 266, 153, 154, 1685,
     "55/45", 21, ""],
    ["Dunmore", "Trailhead", "5DS", "4WD", "GAS", 7, "A9", 18, 3, 489, 198, 178, 289, 168, 168,
     2150, "54/46", 21, "OW from the brochure"],
]


def column(index):
    name = ""
    index += 1
    while index:
        index, rest = divmod(index - 1, 26)
        name = chr(65 + rest) + name
    return name


def text(value):
    return value.replace("&", "&amp;").replace("<", "&lt;").replace("\n", "&#10;")


def sheet(rows):
    xml = [f'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<worksheet '
           f'xmlns="{MAIN}spreadsheetml/2006/main"><sheetData>']
    for r, values in enumerate(rows, 1):
        xml.append(f'<row r="{r}">')
        for c, value in enumerate(values):
            ref = f"{column(c)}{r}"
            if isinstance(value, str):
                if value:
                    xml.append(f'<c r="{ref}" t="inlineStr"><is><t xml:space="preserve">'
                               f'{text(value)}</t></is></c>')
            elif ref == "F3":
                # A formula, saved with its value.
                xml.append(f'<c r="{ref}"><f>2*2</f><v>{value}</v></c>')
            else:
                # CW in a fixed-digits format.
                style = 1 if column(c) == "P" else 0
                xml.append(f'<c r="{ref}" s="{style}"><v>{value}</v></c>')
        xml.append("</row>")
    xml.append("</sheetData></worksheet>")
    return "".join(xml)


def main():
    target = Path(__file__).resolve().parent.parent / "samples" / "SPE2021.xlsx"
    rels = f"{MAIN}package/2006/relationships"
    office = f"{MAIN}officeDocument/2006/relationships"
    types = "application/vnd.openxmlformats-officedocument.spreadsheetml"
    parts = {
        "[Content_Types].xml":
            f'<?xml version="1.0" encoding="UTF-8"?><Types xmlns="{MAIN}package/2006/'
            f'content-types"><Default Extension="rels" ContentType="application/'
            f'vnd.openxmlformats-package.relationships+xml"/><Default Extension="xml" '
            f'ContentType="application/xml"/><Override PartName="/xl/workbook.xml" '
            f'ContentType="{types}.sheet.main+xml"/><Override PartName="/xl/worksheets/'
            f'sheet1.xml" ContentType="{types}.worksheet+xml"/><Override PartName="/xl/'
            f'worksheets/sheet2.xml" ContentType="{types}.worksheet+xml"/><Override '
            f'PartName="/xl/styles.xml" ContentType="{types}.styles+xml"/></Types>',
        "_rels/.rels":
            f'<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="{rels}">'
            f'<Relationship Id="rId1" Type="{office}/officeDocument" '
            f'Target="xl/workbook.xml"/></Relationships>',
        "xl/workbook.xml":
            f'<?xml version="1.0" encoding="UTF-8"?><workbook xmlns="{MAIN}spreadsheetml/2006/'
            f'main" xmlns:r="{office}"><sheets><sheet name="2021" sheetId="1" r:id="rId1"/>'
            f'<sheet name="Changes" sheetId="2" r:id="rId2"/></sheets></workbook>',
        "xl/_rels/workbook.xml.rels":
            f'<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="{rels}">'
            f'<Relationship Id="rId1" Type="{office}/worksheet" Target="worksheets/sheet1.xml"/>'
            f'<Relationship Id="rId2" Type="{office}/worksheet" Target="worksheets/sheet2.xml"/>'
            f'<Relationship Id="rId3" Type="{office}/styles" Target="styles.xml"/>'
            f'</Relationships>',
        "xl/styles.xml":
            f'<?xml version="1.0" encoding="UTF-8"?><styleSheet xmlns="{MAIN}spreadsheetml/'
            f'2006/main"><numFmts count="1"><numFmt numFmtId="164" formatCode="0000"/>'
            f'</numFmts><fonts count="1"><font/></fonts><fills count="1"><fill/></fills>'
            f'<borders count="1"><border/></borders><cellXfs count="2"><xf numFmtId="0"/>'
            f'<xf numFmtId="164" applyNumberFormat="1"/></cellXfs></styleSheet>',
        "xl/worksheets/sheet1.xml": sheet([HEADER] + ROWS),
        "xl/worksheets/sheet2.xml": sheet([["Changed", "By"], ["Notes for May", "Ann"]]),
    }
    with zipfile.ZipFile(target, "w", zipfile.ZIP_DEFLATED) as archive:
        for name, content in parts.items():
            info = zipfile.ZipInfo(name, date_time=(2021, 5, 1, 12, 0, 0))
            info.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(info, content)
    print(f"wrote {target}")


if __name__ == "__main__":
    main()
