#include "workbooks/sheet_xml/usual_row.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "containers/xml/xml_parser.h"
#include "sources/byte_source.h"
#include "workbooks/sheet_xml/sheet_bytes.h"

using namespace convert;

namespace {

constexpr std::string_view kMain = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";

/// Events written down, text pieces joined.
struct Transcript final : XmlHandler {
    std::string out;
    void start(std::string_view ns, std::string_view name, const XmlAttributes& a) override {
        out.append("<").append(ns == kMain ? "" : ns).append(name);
        for (std::size_t i = 0; i < a.size(); ++i) {
            out.append(" ").append(a[i].ns).append(a[i].name).append("=").append(a[i].value);
        }
        out += ">";
    }
    void end(std::string_view, std::string_view name) override { out.append("</").append(name); }
    void text(std::string_view text) override { out.append(text); }
};

UsualRow xlsx_form() {
    std::vector<XmlName> inside;
    for (const std::string_view name : {"c", "v", "f", "is", "t"}) inside.push_back({kMain, name});
    return UsualRow({{kMain, "row"}}, inside);
}

/// What the parser hands on for `row`, inside an element declaring the bindings below.
std::string parsed(std::string_view row) {
    const std::string xml = "<w xmlns='" + std::string(kMain) + "' xmlns:m='" + std::string(kMain) +
                            "' xmlns:x='urn:x'>" + std::string(row) + "</w>";
    MemorySource input(xml);
    Transcript transcript;
    const auto parser = parse_xml(input, transcript);
    while (parser->run()) {
    }
    return transcript.out.substr(3, transcript.out.size() - 6);  // inside <w>...</w
}

TEST(UsualRow, GoesTheWayItShouldAndGivesWhatTheParserGives) {
    const std::vector<XmlBinding> bindings = {
        {"", std::string(kMain)}, {"m", std::string(kMain)}, {"x", "urn:x"}};
    using R = UsualRow::Read;
    const struct {
        std::string_view row;
        R way;
    } cases[] = {
        {"<row r=\"1\"><c r=\"A1\" s=\"2\" t=\"s\"><v>0</v></c></row>", R::usual},
        {"  <row r='1'/>", R::usual},
        {"<row\n r = '1' x:a=\"x>y\" ><c r=\"A1\"/>\n</row >", R::usual},
        {"<row><c t=\"inlineStr\"><is><t xml:space=\"preserve\"> a\tb ]] </t></is></c></row>",
         R::usual},
        {"<m:row><m:c><m:v>\xc3\x85lder \xf0\x9f\x9a\x97</m:v></m:c></m:row>", R::usual},
        {"<row><c><f>1+1</f><v>2</v></c></row>", R::usual},
        {"<row><c><v>A&amp;B</v></c></row>", R::unusual},
        {"<row r=\"&#49;\"/>", R::unusual},
        {"<row><!-- c --></row>", R::unusual},
        {"<row><c><v><![CDATA[x]]></v></c></row>", R::unusual},
        {"<row><?pi x?></row>", R::unusual},
        {"<row><c><v>a]]>b</v></c></row>", R::unusual},
        {"<row><c r=\"A1\" r=\"B1\"/></row>", R::unusual},
        {"<row><c x:r=\"A1\" r=\"B1\"/></row>", R::unusual},
        {"<row xmlns:y=\"urn:y\"/>", R::unusual},
        {"<row xmlns=\"urn:y\"/>", R::unusual},
        {"<row><c><rPh/></c></row>", R::unusual},
        {"<row><c y:a=\"1\"/></row>", R::unusual},
        {"<row><c><v>a\rb</v></c></row>", R::unusual},
        {"<row><c><v>a\x01</v></c></row>", R::unusual},
        {"<row a=\"\tb\"/>", R::unusual},
        {"<row><c><v>\xc0\x80</v></c></row>", R::unusual},
        {"<row><c><v>\xef\xbf\xbe</v></c></row>", R::unusual},
        {"<row><c><v>\xed\xa0\x80</v></c></row>", R::unusual},
        {"<row><c></v></row>", R::unusual},
        {"<c/>", R::unusual},
        {"<row><row/></row>", R::unusual},
        {"</sheetData>", R::unusual},
        {"<row a=\"1\"b=\"2\"/>", R::unusual},
        {"<row r=\"1\"><c>", R::cut},
        {"<row><c><v>\xc3", R::cut},
        {"<row><c><v>a]", R::cut},
        {"  ", R::cut},
    };
    UsualRow usual = xlsx_form();
    usual.learn(bindings);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.row);
        ASSERT_EQ(usual.read(c.row), c.way);
        if (c.way != R::usual) continue;
        EXPECT_EQ(usual.size(), c.row.size());
        EXPECT_EQ(usual.lines(),
                  static_cast<std::uint64_t>(std::count(c.row.begin(), c.row.end(), '\n')));
        Transcript quick;
        usual.hand_on(quick);
        EXPECT_EQ(quick.out, parsed(c.row.substr(c.row.find('<'))));
    }
}

}  // namespace

namespace {

TEST(SheetBytes, ReadsByRowsEndWhereARowMayEnd) {
    // Each read, then "|" where it ends at a boundary, "~" where it does not.
    const struct {
        std::string_view bytes;
        std::size_t block;
        std::string_view reads;
    } cases[] = {
        {"<w><row r='1'><c/></row><row/>x", 64, "<w><row r='1'><c/>|</row>|<row/>|x~"},
        {"<x:row a='>'>t</x:row \n>tail", 64, "<x:row a='>'>t</x:row \n>|tail~"},
        {"<a><b>text</b>", 64, "<a><b>text</b>~"},
        {"<row></row>", 3, "<ro~w>|</r~ow>|"},
    };
    for (const auto& c : cases) {
        SheetBytes bytes(std::make_unique<MemorySource>(c.bytes));
        bytes.by_rows();
        std::string reads, block(c.block, '\0');
        for (std::size_t n; (n = bytes.read(block.data(), c.block)) != 0;) {
            reads.append(block, 0, n).append(bytes.at_boundary() ? "|" : "~");
        }
        EXPECT_EQ(reads, c.reads) << c.bytes;
    }
    // What is looked at ahead and passed over never reaches a read.
    SheetBytes bytes(std::make_unique<MemorySource>("<row/><row>x</row><c/>"));
    EXPECT_EQ(bytes.ahead(11), "<row/><row>x</row><c/>");
    bytes.skip(6);
    char read[32];
    EXPECT_EQ(std::string_view(read, bytes.read(read, sizeof read)), "<row>x</row><c/>");
}

}  // namespace
