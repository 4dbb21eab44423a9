#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "records/target_buffer.h"
#include "test_support.h"
#include "workbooks/workbook_rows.h"
#include "zip_writer.h"

using namespace convert;
using namespace testing_support;

namespace {

constexpr std::string_view kNs =
    R"( xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main")"
    R"( xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships")";
constexpr std::string_view kRel =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";

/// What a test workbook holds besides its first sheet's rows.
struct Book {
    std::string strings = {};  // <si> elements: a shared strings part when not empty
    std::string styles = {};   // the styles part's elements: none when empty
    std::string sheet = {};    // the whole first sheet, in place of one holding the rows
    std::string after_rows = {};
    std::string before_rows = {};
    std::string calc = {};  // after the workbook's <sheets>
    std::string sheets = R"(<sheet name="A" sheetId="1" r:id="rId1"/>)";
    std::string sheet1 = "worksheets/sheet1.xml";  // its target, as the workbook's rels name it
    bool deflate = true;
};

std::string relationship(std::string_view id, std::string_view type, std::string_view target) {
    return "<Relationship Id=\"" + std::string(id) + "\" Type=\"" + std::string(kRel) +
           std::string(type) + "\" Target=\"" + std::string(target) + "\"/>";
}

std::string rels(const std::string& inside) {
    return R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)" +
           inside + "</Relationships>";
}

/// An .xlsx file whose first sheet holds `rows`, <row> elements.
std::string xlsx(const std::string& rows, const Book& p = {}) {
    const auto sheet = [&](const std::string& data, const std::string& before,
                           const std::string& after) {
        return "<worksheet" + std::string(kNs) + ">" + before + "<sheetData>" + data +
               "</sheetData>" + after + "</worksheet>";
    };
    std::vector<ZipItem> items = {
        {"[Content_Types].xml", "<Types/>"},
        {"_rels/.rels", rels(relationship("rId1", "officeDocument", "xl/workbook.xml"))},
        {"xl/workbook.xml", "<workbook" + std::string(kNs) + "><sheets>" + p.sheets + "</sheets>" +
                                p.calc + "</workbook>"},
        {"xl/_rels/workbook.xml.rels",
         rels(
             relationship("rId1", "worksheet", p.sheet1) +
             relationship("rId2", "worksheet", "worksheets/sheet2.xml") +
             relationship("rId3", "chartsheet", "chartsheets/sheet1.xml") +
             (p.strings.empty() ? "" : relationship("rId4", "sharedStrings", "sharedStrings.xml")) +
             (p.styles.empty() ? "" : relationship("rId5", "styles", "/xl/styles.xml")))},
        {"xl/worksheets/sheet1.xml",
         p.sheet.empty() ? sheet(rows, p.before_rows, p.after_rows) : p.sheet},
        {"xl/worksheets/sheet2.xml",
         sheet(R"(<row><c t="inlineStr"><is><t>second</t></is></c></row>)", "", "")},
    };
    if (!p.strings.empty()) {
        items.push_back(
            {"xl/sharedStrings.xml", "<sst" + std::string(kNs) + ">" + p.strings + "</sst>"});
    }
    if (!p.styles.empty()) {
        items.push_back(
            {"xl/styles.xml", "<styleSheet" + std::string(kNs) + ">" + p.styles + "</styleSheet>"});
    }
    for (ZipItem& item : items) item.deflate = p.deflate;
    return make_zip(items);
}

std::string cell(std::string_view ref, std::string_view value, std::string_view attributes = "") {
    return "<c r=\"" + std::string(ref) + "\"" + std::string(attributes) + "><v>" +
           std::string(value) + "</v></c>";
}
std::string text(std::string_view ref, std::string_view value) {
    return "<c r=\"" + std::string(ref) + "\" t=\"inlineStr\"><is><t>" + std::string(value) +
           "</t></is></c>";
}
std::string patched(std::string file, std::string_view from, std::string_view to) {
    return file.replace(file.find(from), from.size(), to);
}
std::string row(int number, const std::string& cells) {
    return "<row r=\"" + std::to_string(number) + "\">" + cells + "</row>";
}

std::string repeated(std::string_view text, std::size_t times) {
    std::string all;
    for (std::size_t i = 0; i < times; ++i) all += text;
    return all;
}

/// The rows read with the usual rows taken from the bytes, which must be
/// those the parser alone gives.
std::string rows_of(const std::string& file) {
    const auto [usual_first, parsed] = workbook_rows_both_ways(xlsx_rows, file);
    EXPECT_EQ(usual_first, parsed);
    return usual_first;
}

const std::string kStyles =
    R"(<numFmts><numFmt numFmtId="164" formatCode="0.0"/><numFmt numFmtId="165" formatCode="000"/>)"
    R"(</numFmts><cellStyleXfs><xf numFmtId="9"/></cellStyleXfs><cellXfs><xf numFmtId="0"/>)"
    R"(<xf numFmtId="164"/><xf numFmtId="165"/><xf numFmtId="3"/><xf numFmtId="9"/>)"
    R"(<xf numFmtId="14"/></cellXfs>)";

TEST(XlsxRows, RowsAsTheCsvExportGivesThem) {
    const std::string header = row(1, text("A1", "a") + text("B1", "b, as long"));
    std::string escapes;  // longer than one piece of the XML reader's text
    for (int i = 0; i < 10'000; ++i) escapes += "_x0041_";
    const std::string covered = "_x005F_x000D_ _x41_ _xD83D__xDE00_ _xD800_ _x006f_";
    const struct {
        const char* what;
        std::string file;
        std::string expected;
        std::string under_wine = {};  // where Wine's XmlLite refuses a text past 1 MiB
    } cases[] = {
        {"each kind of cell, in its column",
         xlsx(row(1, cell("A1", "0", " t=\"s\"") + text("B1", "in") +
                         R"(<c r="C1" t="str"><f>B1</f><v>f</v></c><c r="E1" t="b"><v>1</v></c>)" +
                         cell("F1", "0", " t=\"b\"") + cell("G1", "12", " t=\"n\"") +
                         R"(<c r="H1" s="3"/><c><v>-7</v></c>)"),
              {.strings = "<si><t>shared</t></si>"}),
         "1:shared,in,f,,TRUE,FALSE,12,,-7"},
        {"numbers as their formats show them; styles other than cells' passed over",
         xlsx(header + row(2, cell("A2", "0.30000000000000004") + cell("B2", "2.25", " s=\"1\"") +
                                  cell("C2", "7", " s=\"2\"") + cell("D2", "1250", " s=\"3\"") +
                                  cell("E2", "12345678901234567") + cell("F2", "1E-3") +
                                  cell("G2", "1234567890123456") + cell("H2", "-0")),
              {.styles = kStyles}),
         "1:a,\"b, as long\" / "
         "2:0.3,2.3,007,\"1,250\",1.23456789012346E+016,0.001,1234567890123456,0"},
        {"refused: a percentage, a date, an error, a formula never worked out",
         xlsx(header + row(2, cell("A2", "0.5", " s=\"4\"") + cell("B2", "45000", " s=\"5\"") +
                                  cell("C2", "#N/A", " t=\"e\"") + "<c r=\"D2\"><f>1/0</f></c>" +
                                  cell("E2", "2024-05-03T00:00:00", " t=\"d\" s=\"5\"") +
                                  cell("F2", "2024-05-03", " t=\"d\"") + text("G2", "x")),
              {.styles = kStyles}),
         "1:a,\"b, as long\" / 2:,,,,,,x {A2 format 0%} {B2 format mm-dd-yy} {C2 error #N/A} {D2 "
         "unsaved} "
         "{E2 format mm-dd-yy} {F2 format General}"},
        {"every formula when the workbook is to be worked out on opening",
         xlsx(header + row(2, R"(<c r="A2"><f>1+1</f><v>0</v></c>)" + cell("B2", "2")),
              {.calc = R"(<calcPr calcId="0" fullCalcOnLoad="1"/>)"}),
         "1:a,\"b, as long\" / 2:,2 {A2 unsaved}"},
        {"escapes decoded; rich text joined, its layout and phonetic runs left out",
         xlsx(row(1, "<c t=\"inlineStr\"><is><r><t>a_x000D__x000A_b</t>\n</r></is></c>" +
                         text("B1", covered) + cell("C1", "0", " t=\"s\"") +
                         "<c r=\"D1\" t=\"str\"><f>A1</f><v>_x0009_</v></c>"),
              {.strings =
                   "<si><r><t>Ru</t></r><r><rPr><b/></rPr><t xml:space=\"preserve\">nabout </t>"
                   "</r><rPh sb=\"0\" eb=\"1\"><t>R</t></rPh><phoneticPr fontId=\"1\"/></si>"}),
         "1:\"a\r\nb\",_x000D_ _x41_ \xF0\x9F\x98\x80 \xEF\xBF\xBD o,Runabout ,\t"},
        {"cells under a merged range read as they hold",
         xlsx(row(1, text("A1", "header a") + text("B1", "b") + text("C1", "c")) +
                  row(2, text("B2", "x") + text("C2", "y") + text("D2", "d")) +
                  row(3, text("A3", "z")),
              {.after_rows = R"(<mergeCells count="2"><mergeCell ref="B1:C2"/>)"
                             R"(<mergeCell ref="A2:A3"/></mergeCells>)"}),
         "1:header a,b,c / 2:,x,y,d / 3:z,,,"},
        {"prefixed elements; merged ranges play no part",
         xlsx(
             "",
             {.sheet =
                  R"(<x:worksheet xmlns:x="http://schemas.openxmlformats.org/spreadsheetml/2006/main">)"
                  R"(<x:sheetData><x:row><x:c t="inlineStr"><x:is><x:t>a</x:t></x:is></x:c>)"
                  R"(<x:c><x:v>1</x:v></x:c></x:row></x:sheetData><!-- <x:mergeCell ref="A1:B1"/> -->)"
                  R"(<x:mergeCells><x:mergeCell ref = 'A2:B2' /></x:mergeCells></x:worksheet>)"}),
         "1:a,1"},
        {"rows counted as the sheet numbers them; blank ones passed over",
         xlsx(row(1, text("A1", "the header")) + row(2, text("B2", "b")) + "<row>" +
              text("A3", "x") + "</row><row r=\"7\"/>" + row(9, "<c/>" + text("B9", "y")) +
              "<row><c><v>1</v></c></row>"),
         "1:the header / 2:,b / 3:x, / 9:,y / 10:1,"},
        {"a reference in lower case, an empty style, a dimension that is no range",
         xlsx(row(1, R"(<c r="b1" s=""><v>1</v></c>)"),
              {.before_rows = R"(<dimension ref="1:4"/>)"}),
         "1:,1"},
        {"a short header as wide as the sheet; a row after it long enough to count",
         xlsx(row(1, text("A1", "h")) + row(3, text("A3", "x")) + row(4, text("E4", "123456")) +
              row(5, text("A5", "0123456789"))),
         "1:h,,,, / 4:,,,,,,,,,,"},
        {"a short header and short rows after it",
         xlsx(row(1, text("A1", "h")) + row(3, text("C3", "1234567"))), "1:h,,"},
        {"a header not in row 1 is none, as in the export",
         xlsx(row(3, text("A3", "a") + text("K3", "b"))), "1:,,,,,,,,,, / 3:a,,,,,,,,,,b"},
        {"the header's width without a dimension", xlsx(header + row(2, text("A2", "x"))),
         "1:a,\"b, as long\" / 2:x,"},
        {"the first worksheet in the workbook's order: a chart sheet passed over",
         xlsx(
             "",
             {.sheets =
                  R"(<sheet name="C" r:id="rId3"/><sheet name="B" r:id="rId2"/><sheet name="A" r:id="rId1"/>)"}),
         "1:second"},
        {"stored entries; a target from its folder's parent",
         xlsx(header, {.sheet1 = "../xl/worksheets/./sheet1.xml", .deflate = false}),
         "1:a,\"b, as long\""},
        {"escapes across the XML reader's pieces of text", xlsx(row(1, text("A1", escapes))),
         "1:" + std::string(10'000, 'A')},
        {"a row past 16 MB",
         xlsx(header + row(2, text("A2", std::string(kLongestRow, 'x') + "yz"))),
         "1:a,\"b, as long\" / 2:too long",
         "!The workbook's part xl/worksheets/sheet1.xml cannot be read: markup too long (line 1)."},
        {"encrypted, the name across a block's end",
         kCompound + std::string((256 << 10) - 20, '\0') + kEncryptedPackage,
         "!encrypted: The workbook is encrypted: it needs a password to be opened."},
        {"an old binary workbook", kCompound + std::string(512, '\0'),
         "!It is an Excel 97-2003 workbook, or another compound file, not an Office Open XML "
         "workbook."},
        {"not a zip", std::string(kFullHeader), "!The file is not a zip archive."},
        {"a zip without a workbook", make_zip({{"a.txt", "x"}}),
         "!The zip archive holds no workbook."},
        {"no worksheet", xlsx("", {.sheets = R"(<sheet name="C" r:id="rId3"/>)"}),
         "!The workbook has no worksheet."},
        {"rows read the quick way over line breaks: a fault after them keeps its line",
         xlsx(header + "\n<row r=\"2\"\n>" + text("A2", "x\ny") + "</row>\n" + row(3, "<c>")),
         "!The workbook's part xl/worksheets/sheet1.xml cannot be read: mismatched tag (line 5)."},
        {"a prefixed row, one with a reference, one with a comment",
         xlsx(
             header +
             R"(<m:row xmlns:m="http://schemas.openxmlformats.org/spreadsheetml/2006/main" r="2">)" +
             R"(<m:c r="A2"><m:v>1</m:v></m:c></m:row>)" + row(3, text("A3", "a&amp;b")) +
             row(4, "<!-- <c r=\"B4\"><v>9</v></c> -->" + cell("A4", "4")) +
             row(5, cell("A5", "5"))),
         "1:a,\"b, as long\" / 2:1, / 3:a&b, / 4:4, / 5:5,"},
        {"malformed XML", xlsx("<row><c></row>"),
         "!The workbook's part xl/worksheets/sheet1.xml cannot be read: mismatched tag (line 1)."},
        {"a shared string the workbook does not have",
         xlsx(header + row(2, cell("A2", "1", " t=\"s\""))),
         "!Cell A2 of the sheet names the shared string \"1\", which the workbook does not have."},
        {"a number that is none", xlsx(header + row(2, cell("C2", "1,5"))),
         "!Cell C2 of the sheet holds \"1,5\", which is not a number."},
        {"a damaged entry", patched(xlsx(header, {.deflate = false}), ">a<", ">z<"),
         "!The entry \"xl/worksheets/sheet1.xml\" of the zip archive is damaged: its CRC-32 does "
         "not match."},
        {"a style the workbook does not have",
         xlsx(header + row(2, cell("A2", "1", " s=\"9\"")), {.styles = kStyles}),
         "!Cell A2 of the sheet has the style 9, which the workbook does not have."},
        {"rows out of order", xlsx(row(3, "") + row(2, "")),
         "!Row 2 of the sheet comes after row 3."},
        {"a number format past its bound",
         xlsx(header, {.styles = "<numFmts><numFmt numFmtId=\"164\" formatCode=\"" +
                                 std::string(4097, '0') + "\"/></numFmts>"}),
         "!The workbook's part xl/styles.xml holds a number format longer than 4096 bytes."},
        {"cell styles past their bound",
         xlsx(header,
              {.styles = "<cellXfs>" + repeated("<xf numFmtId=\"0\"/>", 100'001) + "</cellXfs>"}),
         "!The workbook's part xl/styles.xml holds more than 100000 cell styles."},
        {"shared strings past 64 MB",
         xlsx(header, {.strings = "<si><t>" + std::string((64 << 20) + 1, 'a') + "</t></si>"}),
         "!Its table of shared strings is larger than 64 MB.",
         "!The workbook's part xl/sharedStrings.xml cannot be read: markup too long (line 1)."},
    };
    for (const auto& c : cases) {
        const bool wine = under_wine() && !c.under_wine.empty();
        EXPECT_EQ(rows_of(c.file), wine ? c.under_wine : c.expected) << c.what;
    }
}

}  // namespace
