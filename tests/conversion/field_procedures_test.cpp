#include "field_procedures.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "text.h"

using namespace convert;

namespace {

TEST(Text, UpperCasesOnlyAsciiLettersWhateverTheLocale) {
    EXPECT_EQ(upper("spe1999.csv - äb\xe9z{`}"),
              "SPE1999.CSV - \xc3\xa4"
              "B\xe9Z{`}");
}

TEST(Text, TrimsTheSpaceCharacterOnly) {
    EXPECT_EQ(trim_spaces("  a b  "), "a b");
    EXPECT_EQ(trim_spaces("\ta\t "), "\ta\t");
    EXPECT_EQ(trim_spaces("    "), "");
    EXPECT_EQ(trim_spaces(""), "");
}

struct PadCase {
    std::string text;
    int width;
    std::string expected;
};

TEST(FieldPadding, FillsOrCutsToExactlyTheWidth) {
    const std::vector<PadCase> cases = {
        {"", 3, "   "}, {"AB", 3, "AB "}, {"ABC", 3, "ABC"}, {"ABCD", 3, "ABC"}, {"ABC", 0, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(G_PADR(c.text, c.width), c.expected) << '"' << c.text << "\" " << c.width;
    }
    EXPECT_THROW(G_PADR("A", -1), std::invalid_argument);
}

struct LookupCase {
    const char* what;
    std::string header;  // as the caller passes it, trailing comma included
    std::string line;
    std::string name;
    int width;
    std::string expected;
};

TEST(FieldLookup, ValuesByColumnName) {
    const std::string h = "MAKE,MODEL,A1,OL,";
    const std::vector<LookupCase> cases = {
        {"name in lower case, spaces trimmed", h, "Zeta , Z100,12,abc,", "make", 0, "Zeta"},
        {"filled on the right", h, "Zeta , Z100,12,abc,", "A1", 3, "12 "},
        {"exact width", h, "Zeta , Z100,12,abc,", "OL", 3, "abc"},
        {"cut without notice", h, "Zeta , Z100,12,abc,", "OL", 2, "ab"},
        {"line ends before the column: padded", h, "Zeta,Z100,", "A1", 3, "   "},
        {"name the header lacks: not padded", h, "Zeta,Z100,12,abc,", "WB", 3, ""},
        {"only spaces", h, "Zeta,Z100,    ,abc,", "A1", 3, "   "},
        {"tabs stay, inner spaces stay", h, "Zeta,Z 1  00 ,\t12 ,abc,", "A1", 0, "\t12"},
        {"inner spaces of a value", h, "Zeta,Z 1  00 ,\t12 ,abc,", "MODEL", 0, "Z 1  00"},
        {"value keeps its case", h, "zeta,z100,1,a,", "MAKE", 0, "zeta"},
        {"first matching column wins", "A1,B1,A1,", "1,2,3,", "A1", 0, "1"},
        {"header field with a space never matches", "make, model,", "a,b,", "MODEL", 0, ""},
        {"no trailing comma: last column unseen", "MAKE,MODEL", "a,b,", "MODEL", 0, ""},
        {"text after the last comma is not a field", h, "Zeta,Z100,12", "A1", 3, "   "},
        {"quotes are ordinary characters", "MAKE,MODEL,", "\"Big, Co\",x,", "MODEL", 0, "Co\""},
        {"empty field between commas", h, "Zeta,,12,", "MODEL", 4, "    "},
        {"header without any comma", "MAKE", "a,", "MAKE", 3, ""},
        {"mixed-case header", "Make,moDel,a1,", "x,y,z,", "a1", 0, "z"},
    };
    for (const auto& c : cases) {
        std::string name = c.name;
        std::string header = c.header;
        EXPECT_EQ(G_GET_FIELD(name, header, c.line, c.width), c.expected) << c.what;
    }
}

TEST(FieldLookup, UpperCasesTheCallersNameAndHeaderButNotTheLine) {
    std::string name = "make";
    std::string header = "make, model,a1,";
    const std::string line = "zeta,z100,1,";
    EXPECT_EQ(G_GET_FIELD(name, header, line, 0), "zeta");
    EXPECT_EQ(name, "MAKE");
    EXPECT_EQ(header, "MAKE, MODEL,A1,");
    EXPECT_EQ(line, "zeta,z100,1,");
}

struct CheckCase {
    const char* what;
    std::string header;
    std::string line;
    std::string name;
    int width;
    bool fits;
    std::string message;  // "" when none is shown
};

TEST(WidthCheck, ReportsEachOverLongValueInOneExactMessage) {
    const std::string h = "MAKE,MODEL,A1,";
    const std::vector<CheckCase> cases = {
        {"equal to the width", h, "Zeta,Z100,123,", "A1", 3, true, ""},
        {"surrounding spaces do not count", h, "Zeta,Z100,  12  ,", "A1", 3, true, ""},
        {"one too long", h, "Zeta,Z100,1234,", "A1", 3, false,
         "Model: Zeta  Z100\r\n\r\nField: A1  Response Length:  4   Response: 1234  is longer "
         "than: 3"},
        {"name in lower case is shown upper-cased", h, "Zeta,Z100,1234,", "a1", 3, false,
         "Model: Zeta  Z100\r\n\r\nField: A1  Response Length:  4   Response: 1234  is longer "
         "than: 3"},
        {"line ends before the column", h, "Zeta,Z100,", "A1", 3, true, ""},
        {"column the header lacks", h, "Zeta,Z100,1234,", "WB", 3, true, ""},
        {"no MAKE or MODEL in the header", "A1,", "1234,", "A1", 3, false,
         "Model:   \r\n\r\nField: A1  Response Length:  4   Response: 1234  is longer than: 3"},
        {"two-digit length, wider field", "MAKE,MODEL,WDIST,", " big , car ,1234567890 ,", "WDIST",
         5, false,
         "Model: big  car\r\n\r\nField: WDIST  Response Length:  10   Response: 1234567890  is "
         "longer than: 5"},
        {"value bytes kept as they are", h, "Citro\xebn,C<&>,\xe9\xe9\xe9\xe9,", "A1", 3, false,
         "Model: Citro\xebn  C<&>\r\n\r\nField: A1  Response Length:  4   Response: "
         "\xe9\xe9\xe9\xe9  is longer than: 3"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> shown;
        std::string name = c.name;
        std::string header = c.header;
        const bool fits = G_CHECK_LEN(name, header, c.line, c.width,
                                      [&](const std::string& m) { shown.push_back(m); });
        EXPECT_EQ(fits, c.fits) << c.what;
        EXPECT_EQ(shown, c.message.empty() ? std::vector<std::string>{}
                                           : std::vector<std::string>{c.message})
            << c.what;
        EXPECT_EQ(name, upper(c.name)) << c.what;
    }
}

TEST(FieldLookup, LinesLongerThanSixteenBitPositionsAreRead) {
    const std::string filler(40000, 'x');
    std::string header = filler + ",MAKE,";
    std::string name = "MAKE";
    EXPECT_EQ(G_GET_FIELD(name, header, filler + ",Zeta,", 0), "Zeta");
}

}  // namespace
