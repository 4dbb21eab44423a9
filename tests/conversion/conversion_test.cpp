#include "conversion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "convert_file.h"
#include "reference_conversion.h"
#include "test_support.h"

using namespace convert;
using namespace testing_support;
using namespace std::string_literals;

namespace {

struct Converted {
    LinesResult result;
    std::string output;
    std::vector<std::string> messages;
    bool ok() const { return result == LinesResult::converted; }
};

Converted convert_text(std::string_view content, std::size_t block_size = kBlockSize,
                       ChunkScanner scanner = fastest_chunk_scanner()) {
    Converted c;
    c.result = convert_content(
        content, c.output, [&](const std::string& m) { c.messages.push_back(m); }, block_size,
        scanner);
    return c;
}

/// Expects exactly what the line-by-line reference gives: the same checks,
/// and the same bytes when every value fits.
void expect_same_as_reference(const std::string& content, const std::string& what) {
    std::string expected;
    std::vector<std::string> expected_messages;
    const reference::Result result = reference::convert(content, expected, expected_messages);
    const Converted got = convert_text(content);
    EXPECT_EQ(static_cast<int>(got.result), static_cast<int>(result)) << what;
    EXPECT_EQ(got.messages, expected_messages) << what;
    EXPECT_EQ(got.output, got.ok() ? expected : "") << what;
}

/// The whole run on a file, read and written `block_size` bytes at a time,
/// gives the reference's outcome, messages and target.
void expect_same_run_as_reference(const std::string& content, std::size_t block_size) {
    std::string expected;
    std::vector<std::string> messages;
    const reference::Result result = reference::convert(content, expected, messages);
    const RunOutcome outcome = result == reference::Result::converted ? RunOutcome::converted
                               : result == reference::Result::values_too_long
                                   ? RunOutcome::values_too_long
                                   : RunOutcome::no_known_column;
    messages.push_back(
        result == reference::Result::converted ? "Done."
        : result == reference::Result::values_too_long
            ? "Data not converted."
            : "No known column in the first line of SPE1999.CSV.  Data not converted.");
    ScopedTempDir dir;
    write_file(dir / "SPE1999.CSV", content);
    const Ran ran = run_file(dir.path(), "SPE1999.CSV", {.block_size = block_size});
    EXPECT_EQ(ran.outcome, outcome);
    EXPECT_EQ(ran.messages, messages);
    if (outcome == RunOutcome::converted) {
        EXPECT_EQ(read_file(dir / "SP1999.TXT"), expected);
    } else {
        EXPECT_EQ(dir.names(), std::vector<std::string>{"SPE1999.CSV"});
    }
}

const std::string kHeader(kFullHeader);
const std::string kLine(kExampleLine);
const std::string kRecord(kExampleTarget.substr(0, kExampleTarget.size() - 2));

TEST(ConvertContent, WorkedExampleGivesThe103DocumentedBytes) {
    const Converted c = convert_text(crlf_lines({kHeader, kLine}));
    ASSERT_TRUE(c.ok());
    EXPECT_EQ(c.output, kExampleTarget);
    EXPECT_EQ(c.output.size(), 103u);
    EXPECT_TRUE(c.messages.empty());
}

struct LineCase {
    const char* what;
    std::string content;
    std::string expected;
};

std::vector<LineCase> line_structure_cases() {
    const std::string ten = "A,B,1,2,34";  // exactly 10 characters
    const std::string ten_record =
        "<R><MA>A</MA><MO>B</MO><DA>1  2  34 " + std::string(42, ' ') + "</DA></R>\r\n";
    return {
        {"header only", crlf_lines({kHeader}), "\r\n"},
        {"empty file", "", "\r\n"},
        {"header without CR LF", kHeader, "\r\n"},
        {"header shorter than 10 gives no data", crlf_lines({"MAKE,A1", kLine}), "\r\n"},
        {"two lines in source order", crlf_lines({kHeader, kLine, kLine}),
         kRecord + kRecord + "\r\n"},
        {"last line without CR LF is converted", kHeader + "\r\n" + kLine, kRecord + "\r\n"},
        {"last line ending in a lone CR", kHeader + "\r\n" + kLine + "\r", kRecord + "\r\n"},
        {"a line of exactly 10 characters is used", crlf_lines({kHeader, ten}),
         ten_record + "\r\n"},
        {"a 9-character line ends the data", crlf_lines({kHeader, kLine, "A,B,1,2,3", kLine}),
         kRecord + "\r\n"},
        {"an empty line ends the data", crlf_lines({kHeader, kLine, "", kLine}), kRecord + "\r\n"},
        {"bare LF line ends make one header line", kHeader + "\n" + kLine + "\n", "\r\n"},
        {"the character after a CR is skipped, whatever it is", kHeader + "\rX" + kLine + "\r\n",
         kRecord + "\r\n"},
        {"a lone LF stays inside the line", crlf_lines({kHeader, "\n" + kLine}),
         "<R><MA>\nACME" + kRecord.substr(11) + "\r\n"},
    };
}

TEST(ConvertContent, LineStructure) {
    for (const auto& c : line_structure_cases()) {
        const Converted got = convert_text(c.content);
        EXPECT_TRUE(got.ok()) << c.what;
        EXPECT_EQ(got.output, c.expected) << c.what;
    }
}

TEST(ConvertContent, ColumnsByHeaderName) {
    const std::vector<LineCase> cases = {
        {"columns in another order, lower-case header",
         crlf_lines({"myr,wdist,model,make,a1", "98,55,Runabout,acme,1"}),
         "<R><MA>acme</MA><MO>Runabout</MO><DA>1  55   98 </DA></R>\r\n\r\n"},
        {"a missing column takes no room; MYR moves left",
         crlf_lines({"MAKE,MODEL,A1,B1,C1,D1,E1,F1,G1,OL,OW,OH,WB,TWF,TWR,CW,MYR",
                     "ACME,RUNABOUT 2,12,345,,7,100,99,5,480,178,145,270,150,151,1250,98"}),
         "<R><MA>ACME</MA><MO>RUNABOUT 2</MO><DA>12 345   7  10099 5  480178145270150151125098 "
         "</DA></R>\r\n\r\n"},
        {"a line ending before MYR fills it with spaces",
         crlf_lines({kHeader, kLine.substr(0, kLine.size() - 3)}),
         kRecord.substr(0, 87) + "   </DA></R>\r\n\r\n"},
        {"values are never escaped; make trimmed, case kept",
         crlf_lines({kHeader, "  a&b  ,<x>\"y\",1,,,,,,,,,,,,,,,"}),
         "<R><MA>a&b</MA><MO><x>\"y\"</MO><DA>1" + std::string(50, ' ') + "</DA></R>\r\n\r\n"},
        {"no MAKE or MODEL column", crlf_lines({"A1,B1,C1,D1", "1,2,3,4,5,6,7"}),
         "<R><MA></MA><MO></MO><DA>1  2  3  4  </DA></R>\r\n\r\n"},
    };
    for (const auto& c : cases) {
        const Converted got = convert_text(c.content);
        EXPECT_TRUE(got.ok()) << c.what;
        EXPECT_EQ(got.output, c.expected) << c.what;
    }
}

struct CsvCase {
    const char* what;
    std::string content;
    LinesResult result;
    std::string expected;                    // the target, when converted
    std::vector<std::string> messages = {};  // over-length messages
};

std::string with_model(std::string_view model) {
    return "ACME," + std::string(model) + ",12,345,,7,100,99,5,480,178,145,270,150,151,1250,55,98";
}

std::string quoted_all(std::string_view line, char separator) {
    std::string quoted = "\"";
    for (const char c : line)
        quoted += c == ',' ? std::string("\"") + separator + "\"" : std::string(1, c);
    return quoted + "\"";
}

std::string utf16(std::string_view text) {
    std::string wide = "\xFF\xFE";
    for (const char c : text) wide.append({c, '\0'});
    return wide;
}

// Sources as spreadsheets and databases save them.
std::vector<CsvCase> csv_cases() {
    const std::string record_start = "<R><MA>ACME</MA><MO>";
    const std::string record_rest = kRecord.substr(record_start.size() + 10) + "\r\n";
    auto target = [&](std::string_view model) {
        return record_start + std::string(model) + record_rest;
    };
    std::string semicolons = kLine;
    std::replace(semicolons.begin(), semicolons.end(), ',', ';');
    semicolons.replace(semicolons.find(";55;"), 4, ";5,5;");
    return {
        {"a byte-order mark before the header", "\xEF\xBB\xBF" + crlf_lines({kHeader, kLine}),
         LinesResult::converted, std::string(kExampleTarget)},
        {"a quoted value holding a comma", crlf_lines({kHeader, with_model("\"X, Y\"")}),
         LinesResult::converted, target("X, Y")},
        {"a doubled quote stands for one", crlf_lines({kHeader, with_model("\"Type \"\"S\"\"\"")}),
         LinesResult::converted, target("Type \"S\"")},
        {"a model beginning with a quote", crlf_lines({kHeader, with_model("\"\"\"Q\"\" 2\"")}),
         LinesResult::converted, target("\"Q\" 2")},
        {"what follows the closing quote is kept", crlf_lines({kHeader, with_model("\"X\"Y ")}),
         LinesResult::converted, target("XY")},
        {"every field quoted, header included",
         crlf_lines({quoted_all(kHeader, ','), quoted_all(kLine, ',')}), LinesResult::converted,
         std::string(kExampleTarget)},
        {"semicolons, a decimal comma in a value",
         crlf_lines({quoted_all(kHeader, ';'), semicolons}), LinesResult::converted,
         kRecord.substr(0, 82) + "5,5  98 </DA></R>\r\n\r\n"},
        {"a quote never closed is taken as it stands",
         crlf_lines({kHeader, with_model("\"RUNABOUT 2")}), LinesResult::converted,
         target("\"RUNABOUT 2")},
        {"a quoted over-long value is shown without its quotes",
         crlf_lines(
             {kHeader, "ACME,R2,\" 1,234 \",345,,7,100,99,5,480,178,145,270,150,151,1250,55,98"}),
         LinesResult::values_too_long,
         "",
         {"Model: ACME  R2\r\n\r\nField: A1  Response Length:  5   Response: 1,234  is longer "
          "than: 3"}},
        {"a first line naming no known column",
         crlf_lines({"Year,Remark,Editor", "2019,Complete; sent,Ann"}),
         LinesResult::no_known_column, ""},
        {"a UTF-16 file", utf16(crlf_lines({kHeader, kLine})), LinesResult::no_known_column, ""},
        {"a header naming some columns converts as before",
         crlf_lines({"Year,MODEL,Remark", "2019,Complete,sent"}), LinesResult::converted,
         "<R><MA></MA><MO>Complete</MO><DA></DA></R>\r\n\r\n"},
    };
}

TEST(ConvertContent, ReadsCsvAsSpreadsheetsWriteIt) {
    for (const CsvCase& c : csv_cases()) {
        const Converted got = convert_text(c.content);
        EXPECT_EQ(got.result, c.result) << c.what;
        EXPECT_EQ(got.output, c.expected) << c.what;
        EXPECT_EQ(got.messages, c.messages) << c.what;
        expect_same_as_reference(c.content, c.what);
    }
}

TEST(ConvertContent, EveryOverLongValueIsReportedInLineAndColumnOrder) {
    // Two over-long values in each of three lines, then a short line that
    // ends the data before a fourth bad line.
    const std::string content = crlf_lines({
        kHeader,
        "Zeta,Z1,1234,3456,,7,100,99,5,480,178,145,270,150,151,1250,55,98",
        "Zeta,Z2,1,345,,7,100,99,5,480,178,145,270,150,151,12345,55,98",
        "Ohm,Z3,1,345,,7,100,99,5,480,178,145,270,150,151,1250,123456,9999",
        "short",
        "Zeta,Z4,1234,345,,7,100,99,5,480,178,145,270,150,151,1250,55,98",
    });
    const Converted c = convert_text(content);
    EXPECT_FALSE(c.ok());
    EXPECT_EQ(c.output, "");
    const std::vector<std::string> expected = {
        "Model: Zeta  Z1\r\n\r\nField: A1  Response Length:  4   Response: 1234  is longer than: 3",
        "Model: Zeta  Z1\r\n\r\nField: B1  Response Length:  4   Response: 3456  is longer than: 3",
        "Model: Zeta  Z2\r\n\r\nField: CW  Response Length:  5   Response: 12345  is longer than: "
        "4",
        "Model: Ohm  Z3\r\n\r\nField: WDIST  Response Length:  6   Response: 123456  is longer "
        "than: 5",
        "Model: Ohm  Z3\r\n\r\nField: MYR  Response Length:  4   Response: 9999  is longer than: 3",
    };
    EXPECT_EQ(c.messages, expected);
}

// The source is read, and the target gathered, a block at a time, and lines
// are scanned 64 bytes at a time: a block boundary at any byte (between a CR
// and its LF, inside the header, in a value), separators and quotes on
// either side of a 64-byte seam, and each scanning path give the
// reference's result.
TEST(ConvertContent, EveryBlockBoundaryAndScanningPathGivesTheReferencesResult) {
    std::vector<std::string> lines = {kHeader};
    for (const std::size_t seam : {64u, 128u}) {
        for (std::size_t at = seam - 3; at <= seam + 2; ++at) {
            lines.push_back("M," + std::string(at - 2, 'x') + ",1,2,3");
            lines.push_back("M,\"" + std::string(at - 4, ',') + "\",1,2,3");
        }
    }
    std::vector<std::string> contents = {
        crlf_lines({kHeader, "Zeta,Z1,1234,3456,,7,100,99,5,480,178,145,270,150,151,1250,55,98",
                    kLine, "Zeta,Z2,1,345,,7,100,99,5,480,178,145,270,150,151,12345,55,98"}),
        std::string(30, '\r'),
        // Blocks of the target already passed on when an over-long value comes.
        crlf_lines({kHeader, kLine, kLine, kLine, "Zeta,Z1,1234,,,,,,,,,,,,,,,"}),
        std::accumulate(
            lines.begin(), lines.end(), std::string(),
            [](std::string all, const std::string& line) { return all + line + "\r\n"; }),
    };
    for (const auto& c : line_structure_cases()) contents.push_back(c.content);
    for (const auto& c : csv_cases()) contents.push_back(c.content);
    std::vector<const char*> missing;
    for (const auto& [path, name] : {std::pair{ScanPath::portable, "portable"},
                                     {ScanPath::sse2, "SSE2"},
                                     {ScanPath::avx2, "AVX2"}}) {
        const ChunkScanner scanner = chunk_scanner(path);
        if (scanner == nullptr) {
            missing.push_back(name);
            continue;
        }
        for (const std::string& content : contents) {
            std::string expected;
            std::vector<std::string> messages;
            const auto result = static_cast<int>(reference::convert(content, expected, messages));
            for (std::size_t block = 1; block <= content.size() + 1; ++block) {
                const Converted got = convert_text(content, block, scanner);
                EXPECT_EQ(static_cast<int>(got.result), result) << name << " " << block;
                EXPECT_EQ(got.messages, messages) << name << " " << block;
                EXPECT_EQ(got.output, got.ok() ? expected : "") << name << " " << block;
                if (HasFailure()) return;
            }
        }
    }
    if (!missing.empty())
        GTEST_SKIP() << "this processor or build has no " << missing.front() << " path";
}

// Random sources built from the pieces that matter: header names in any
// case and with spaces, line ends of every kind, short lines, long values.
TEST(ConvertContent, AgreesWithTheReferenceInMemoryAndThroughFiles) {
    const std::vector<std::string> pieces = {
        "MAKE", "model",   "A1",    " A1",  "cw",    "WDIST", "MYR", "b1",       "x",
        "",     " ",       "  12 ", "1234", "12345", "\t",    "\"",  "\"\"",     "\",\"",
        ";",    "\"1;2\"", "<&>",   "\xe9", "\r\n",  "\r",    "\n",  "\r\n\r\n", "0123456789"};
    std::mt19937 random(2024);
    auto pick = [&] {
        return pieces[std::uniform_int_distribution<std::size_t>(0, pieces.size() - 1)(random)];
    };
    for (int round = 0; round < 3000; ++round) {
        std::string content = round % 5 == 0 ? "\xEF\xBB\xBF" : "";
        const int count = std::uniform_int_distribution<int>(0, 60)(random);
        const char* separator = round % 4 == 0 ? ";" : ",";
        for (int i = 0; i < count; ++i) content += pick() + (random() % 3 ? separator : "");
        expect_same_as_reference(content, content);
        if (round % 30 == 0) expect_same_run_as_reference(content, 1 + round % 64);
        if (HasFailure()) return;
    }
}

TEST(ConvertContent, HostileInputGivesTheLineByLineResult) {
    std::string high_bytes;
    for (int b = 0x80; b <= 0xFF; ++b) high_bytes += static_cast<char>(b);
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"a 5 MB line without comma or CR", std::string(5'000'000, 'x')},
        {"a 5 MB data line without comma", crlf_lines({kFullHeader, std::string(5'000'000, 'y')})},
        {"only commas", std::string(1'000'000, ',')},
        {"only commas, in lines", crlf_lines({std::string(20, ','), std::string(20, ','), ",,"})},
        {"NUL bytes", crlf_lines({kFullHeader, "Ze\0ta,Z\0,1\0,\0\0\0\0,,,,,,,,,,,,,,"s})},
        {"a lone CR at the end", crlf_lines({kFullHeader}) + std::string(kExampleLine) + "\r"},
        {"only CRs", std::string(1000, '\r')},
        {"bytes 0x80 to 0xFF",
         crlf_lines({kFullHeader, "M\xe9,\xff\xfe," + high_bytes + "," + high_bytes})},
        {"a header of 100 000 columns", std::string(kFullHeader) + std::string(100'000, ',') +
                                            "X\r\n" + std::string(kExampleLine) + "\r\n"},
    };
    for (const auto& [what, content] : cases) expect_same_as_reference(content, what);
}

}  // namespace
