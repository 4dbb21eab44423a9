#include <gtest/gtest.h>

#include <string>

#include "test_support.h"
#include "workbooks/workbook_rows.h"
#include "zip_writer.h"

using namespace convert;
using namespace testing_support;

namespace {

const std::string kNamespaces =
    R"( xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0")"
    R"( xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0")"
    R"( xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0")"
    R"( xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0")"
    R"( xmlns:number="urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0")"
    R"( xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0")"
    R"( xmlns:loext="urn:org:documentfoundation:names:experimental:office:xmlns:loext:1.0")"
    R"( xmlns:calcext="urn:org:documentfoundation:names:experimental:calc:xmlns:calcext:1.0")";

/// A workbook as a test shapes it: the first sheet's rows and columns, the
/// styles of content.xml and of styles.xml; a second sheet follows the first.
struct Book {
    std::string rows;
    std::string styles = "";         // content.xml's automatic styles
    std::string common_styles = "";  // styles.xml's
    std::string encryption = "";     // in content.xml's manifest entry
    bool deflate = true;             // content.xml deflated, or stored
    std::string mimetype = "application/vnd.oasis.opendocument.spreadsheet";
    std::string damage = "";        // text whose first byte the archive holds changed
    std::string second = "second";  // the second sheet's one value
};

std::string cell(std::string_view attributes, std::string_view content = "") {
    return "<table:table-cell " + std::string(attributes) + ">" + std::string(content) +
           "</table:table-cell>";
}
std::string s(std::string_view text) {
    return cell(R"(office:value-type="string")", "<text:p>" + std::string(text) + "</text:p>");
}
std::string f(std::string_view value, std::string_view style = "") {
    const std::string styled =
        style.empty() ? "" : R"( table:style-name=")" + std::string(style) + R"(")";
    return cell(R"(office:value-type="float" office:value=")" + std::string(value) + "\"" + styled);
}
std::string row(std::string_view cells, std::string_view attributes = "") {
    return "<table:table-row " + std::string(attributes) + ">" + std::string(cells) +
           "</table:table-row>";
}

std::string ods(const Book& book) {
    const std::string content =
        "<office:document-content" + kNamespaces + "><office:automatic-styles>" + book.styles +
        "</office:automatic-styles><office:body><office:spreadsheet><table:table>" + book.rows +
        "</table:table><table:table>" + row(s(book.second)) +
        "</table:table></office:spreadsheet></office:body></office:document-content>";
    const std::string styles = "<office:document-styles" + kNamespaces + "><office:styles>" +
                               book.common_styles + "</office:styles></office:document-styles>";
    const std::string manifest =
        R"(<manifest:manifest xmlns:manifest="urn:oasis:names:tc:opendocument:xmlns:manifest:1.0">)"
        R"(<manifest:file-entry manifest:full-path="content.xml">)" +
        book.encryption + "</manifest:file-entry></manifest:manifest>";
    std::string zip = make_zip({{"mimetype", book.mimetype, false},
                                {"META-INF/manifest.xml", manifest, book.deflate},
                                {"content.xml", content, book.deflate},
                                {"styles.xml", styles}});
    if (!book.damage.empty()) zip[zip.find(book.damage)] ^= 0x20;
    return zip;
}

/// The rows read with the usual rows taken from the bytes, which must be
/// those the parser alone gives.
std::string rows_of(const std::string& file) {
    const auto [usual_first, parsed] = workbook_rows_both_ways(ods_rows, file);
    EXPECT_EQ(usual_first, parsed);
    return usual_first;
}

const std::string kFixed =
    R"(<number:number-style style:name="N2"><number:number number:decimal-places="2" )"
    R"(number:min-integer-digits="1"/></number:number-style>)"
    R"(<number:number-style style:name="N3"><number:number number:decimal-places="0" )"
    R"(number:min-integer-digits="1" number:grouping="true"/></number:number-style>)"
    R"(<number:number-style style:name="N4"><number:number number:decimal-places="2" )"
    R"(loext:min-decimal-places="0" number:min-integer-digits="1"/></number:number-style>)"
    R"(<style:style style:name="ce2" style:family="table-cell" style:data-style-name="N2"/>)"
    R"(<style:style style:name="ce3" style:family="table-cell" style:data-style-name="N3"/>)"
    R"(<style:style style:name="ce4" style:family="table-cell" style:parent-style-name="ce5"/>)"
    R"(<style:style style:name="ce5" style:family="table-cell" style:data-style-name="N4"/>)";
const std::string kRefused =
    R"(<number:percentage-style style:name="P1"><number:number number:decimal-places="1" )"
    R"(number:min-integer-digits="1"/><number:text>%</number:text></number:percentage-style>)"
    R"(<number:currency-style style:name="C1"><number:number number:decimal-places="2" )"
    R"(number:min-integer-digits="1" number:grouping="true"/><number:text> </number:text>)"
    R"(<number:currency-symbol>€</number:currency-symbol></number:currency-style>)"
    R"(<number:date-style style:name="D1"><number:day number:style="long"/><number:text>/)"
    R"(</number:text><number:month number:style="long"/><number:text>/</number:text>)"
    R"(<number:year number:style="long"/></number:date-style>)"
    R"(<number:number-style style:name="M1"><style:text-properties fo:color="#ff0000"/>)"
    R"(<number:text>-</number:text><number:number number:decimal-places="2" )"
    R"(number:min-integer-digits="1"/><style:map style:condition="value()&gt;=0" )"
    R"(style:apply-style-name="N2"/></number:number-style>)"
    R"(<number:number-style style:name="K1"><number:number number:min-integer-digits="1" )"
    R"(number:decimal-places="0"/><number:text> kg</number:text></number:number-style>)";
std::string styled(std::string_view name, std::string_view data) {
    return R"(<style:style style:family="table-cell" style:name=")" + std::string(name) +
           R"(" style:data-style-name=")" + std::string(data) + R"("/>)";
}

TEST(OdsRows, ReadsTheFirstSheetAsItsCsvExport) {
    const std::string encrypted = R"(<manifest:encryption-data manifest:checksum="x"/>)";
    std::string parents;
    for (int i = 0; i < 20'000; ++i) {
        parents += "<style:style style:family=\"table-cell\" style:name=\"p" + std::to_string(i) +
                   "\" style:parent-style-name=\"p" + std::to_string(i + 1) + "\"/>";
    }

    const std::string three = row(s("header 1") + s("h2") + s("h3"));
    const struct {
        const char* what;
        Book book;
        std::string rows;
    } cases[] = {
        {"each value type; General in 15 digits",
         {row(s("x") + f("7") + f("-1.5") + f("0.30000000000000004") + f("1E-3") +
              cell(R"(office:value-type="boolean" office:boolean-value="true")") +
              cell(R"(office:value-type="void")") + cell("", "<text:p>t</text:p>") +
              cell(R"(office:value-type="string" office:string-value="sv")", "<text:p>p</text:p>") +
              cell(R"(table:formula="of:=1+1" office:value-type="float" office:value="2")"))},
         "1:x,7,-1.5,0.3,0.001,TRUE,,t,sv,2"},
        {"fixed digits from the cell's style, its parent's, its column's",
         {"<table:table-column/><table:table-column table:default-cell-style-name=\"ce3\"/>" +
              row(f("1.005", "ce2") + f("1234567") + f("2.5", "ce4") + f("2.5", "ce3")),
          kFixed},
         "1:1.01,\"1,234,567\",2.5,3"},
        {"the default cell style in styles.xml",
         {row(f("2")), "",
          kFixed + R"(<style:default-style style:family="table-cell" )"
                   R"(style:data-style-name="N2"/>)"},
         "1:2.00"},
        {"formats refused with their codes",
         {row(cell(R"(office:value-type="percentage" office:value="0.5" table:style-name="p")") +
              cell(R"(office:value-type="currency" office:value="5" table:style-name="c")") +
              cell(R"(office:value-type="date" office:date-value="2024-01-31" )"
                   R"(table:style-name="d")") +
              f("-1", "m") + f("3", "k") +
              cell(R"(office:value-type="percentage" office:value="0.5")")),
          kFixed + kRefused + styled("p", "P1") + styled("c", "C1") + styled("d", "D1") +
              styled("m", "M1") + styled("k", "K1")},
         "1: {A1 format 0.0%} {B1 format #,##0.00 €} {C1 format DD/MM/YYYY} "
         "{D1 format [>=0]0.00;[RED]-0.00} {E1 format 0\" kg\"} {F1 format 0%}"},
        {"an error result, a formula never computed, each cell repeated",
         {row(s("the header")) +
          row(cell(R"(table:formula="of:=1/0" office:value-type="float" office:value="0" )"
                   R"(calcext:value-type="error")",
                   "<text:p>#DIV/0!</text:p>") +
              cell(R"(table:formula="of:=A1" table:number-columns-repeated="2")"))},
         "1:the header / 2: {A2 error #DIV/0!} {B2 unsaved} {C2 unsaved}"},
        {"paragraphs by LF, spaces, tabs, breaks, spans and links kept; annotations left out",
         {row(cell(R"(office:value-type="string")",
                   "<office:annotation><text:p>note</text:p></office:annotation>"
                   "<text:p> a <text:s text:c=\"2\"/>b </text:p><text:p><text:span>c</text:span>"
                   "<text:tab/><text:a>d</text:a><text:line-break/>e \n  f</text:p>"))},
         "1:\"a   b\ncd\ne f\""},
        {"merged cells: covered cells read as they hold; repeated columns",
         {row(cell(R"(office:value-type="string" table:number-columns-spanned="2")",
                   "<text:p>m</text:p>") +
              "<table:covered-table-cell office:value-type=\"string\"><text:p>hidden</text:p>"
              "</table:covered-table-cell>" +
              cell(R"(office:value-type="string" table:number-columns-repeated="2")",
                   "<text:p>r</text:p>") +
              cell(R"(table:number-columns-repeated="16380")") + s("past the last column"))},
         "1:m,hidden,r,r"},
        {"rows in groups; empty rows cost nothing; a repeated row's copies; as wide as the header",
         {"<table:table-header-rows>" + three + "</table:table-header-rows>" +
          row(cell(R"(table:number-columns-repeated="1024")"),
              R"(table:number-rows-repeated="2")") +
          "<table:table-row-group><table:table-rows>" +
          row(s("x"), R"(table:number-rows-repeated="2" table:visibility="collapse")") +
          "</table:table-rows></table:table-row-group>" +
          row(cell(R"(table:number-columns-repeated="1024")"),
              R"(table:number-rows-repeated="1048570")")},
         "1:header 1,h2,h3 / 4:x,, / 5:x,,"},
        {"an empty first row is the header, as wide as the sheet",
         {row("", R"(table:number-rows-repeated="3")") +
          row(s("x") + cell(R"(table:number-columns-repeated="9")") + s("y"))},
         "1:,,,,,,,,,, / 4:x,,,,,,,,,,y"},
        {"content.xml stored", {.rows = row(s("x")), .deflate = false}, "1:x"},
        {"damaged after the first sheet: its check is read to the end",
         {.rows = row(s("x")),
          .deflate = false,
          .damage = "last",
          .second = std::string(100'000, 'y') + "last"},
         "!The entry \"content.xml\" of the zip archive is damaged: its CRC-32 does not match."},
        {"damaged manifest: its check is read to the end",
         {.rows = row(s("x")), .deflate = false, .damage = "content.xml"},
         "!The entry \"META-INF/manifest.xml\" of the zip archive is damaged: its CRC-32 does not "
         "match."},
        {"a sheet without rows, the second not read", {""}, "1:"},
        {"a password",
         {.rows = row(s("x")), .encryption = encrypted},
         "!encrypted: The workbook is protected by a password."},
        {"another kind of document",
         {.rows = "", .mimetype = "application/vnd.oasis.opendocument.text"},
         "!The file is not an OpenDocument spreadsheet: its type is "
         "\"application/vnd.oasis.opendocument.text\"."},
        {"malformed XML",
         {row(s("x") + "<table:table-cell>")},
         "!The workbook's content.xml is damaged: mismatched tag (line 1)."},
        {"a chain of 20 000 parents, each walked once",
         {row(f("2", "p0")), kFixed + parents + styled("p20000", "N2")},
         "1:2.00"},
        {"a style's name past its bound",
         {row(s("x")), styled(std::string(1025, 'n'), "N2")},
         "!The workbook's content.xml names a style in more than 1024 bytes."},
        {"a number that is none",
         {row(s("x") + f("1,5"))},
         "!Cell B1 of the first sheet holds the number \"1,5\", which cannot be read."},
    };
    for (const auto& c : cases) EXPECT_EQ(rows_of(ods(c.book)), c.rows) << c.what;
    EXPECT_EQ(rows_of("PK not a zip"), "!The file is not a zip archive.");
    EXPECT_EQ(rows_of(make_zip({{"mimetype", "application/vnd.oasis.opendocument.spreadsheet"}})),
              "!The file holds no content.xml: it is not an OpenDocument spreadsheet.");
    EXPECT_EQ(rows_of(make_zip({{"content.xml", "<office:document-content" + kNamespaces + "/>"}})),
              "!The workbook's content.xml holds no spreadsheet: it is not an "
              "OpenDocument spreadsheet.");
}

}  // namespace
