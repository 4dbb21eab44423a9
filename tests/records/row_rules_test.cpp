#include "records/row_rules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "content_conversion.h"
#include "records/record_format.h"
#include "reference_conversion.h"
#include "run/convert_file.h"
#include "test_support.h"

using namespace convert;
using namespace testing_support;
using namespace std::string_literals;

namespace {

struct Converted {
    RowsResult outcome;
    std::string output;
    std::vector<std::string> messages;
    bool ok() const { return outcome.end == RowsEnd::converted; }
};

Converted convert_text(std::string_view content, std::size_t block_size = kBlockSize,
                       ChunkScanner scanner = fastest_chunk_scanner()) {
    Converted c;
    RecordingReport report;
    c.outcome =
        convert_content(content, c.output, report, windows_1252_code_page(), block_size, scanner);
    c.messages = std::move(report.messages);
    return c;
}

/// Expects exactly what the line-by-line reference gives: the same checks,
/// and the same bytes when every value fits.
void expect_same_as_reference(const std::string& content, const std::string& what) {
    std::string expected;
    std::vector<std::string> expected_messages;
    const reference::Verdict verdict = reference::convert(content, expected, expected_messages);
    const Converted got = convert_text(content);
    EXPECT_EQ(static_cast<int>(got.outcome.end), static_cast<int>(verdict.result)) << what;
    EXPECT_EQ(got.outcome.row, verdict.row) << what;
    EXPECT_EQ(std::vector<std::string>(got.outcome.missing.begin(), got.outcome.missing.end()),
              verdict.missing)
        << what;
    EXPECT_EQ(got.messages, expected_messages) << what;
    EXPECT_EQ(got.output, got.ok() ? expected : "") << what;
}

std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text.append(text.empty() ? "" : ", ").append(name);
    return text;
}

/// The whole run on a file, read and written `block_size` bytes at a time,
/// gives the reference's outcome, messages and target.
void expect_same_run_as_reference(const std::string& content, std::size_t block_size) {
    // The reference writes Windows-1252, as the run does wherever the
    // system's code page for targets is that one.
    if (target_code_page().number() != windows_1252_code_page().number()) return;
    std::string expected;
    std::vector<std::string> messages;
    const reference::Verdict verdict = reference::convert(content, expected, messages);
    const std::string row = std::to_string(verdict.row);
    const std::map<reference::Result, std::pair<Ending, std::string>> closing = {
        {reference::Result::converted, {endings::converted, "Done."}},
        {reference::Result::values_rejected, {endings::values_rejected, "Data not converted."}},
        {reference::Result::no_known_column,
         {endings::no_known_column,
          "No known column in the first line of SPE1999.CSV.  Data not converted."}},
        {reference::Result::unclosed_quote,
         {endings::unclosed_quote,
          "A quote in row " + row + " of SPE1999.CSV is never closed.  Data not converted."}},
        {reference::Result::missing_columns,
         {endings::missing_columns, "No column " + joined(verdict.missing) +
                                        " in the first line of SPE1999.CSV.  Data not "
                                        "converted."}},
        {reference::Result::no_rows,
         {endings::no_rows, "No rows of data in SPE1999.CSV.  Data not converted."}},
        {reference::Result::rows_after_short_row,
         {endings::rows_after_short_row,
          "Row " + row +
              " of SPE1999.CSV has fewer than 10 characters, and rows follow it.  Data not "
              "converted."}},
    };
    const auto& [outcome, message] = closing.at(verdict.result);
    messages.push_back(message);
    ScopedTempDir dir;
    write_file(dir / "SPE1999.CSV", content);
    TestFiles files;
    files.block = block_size;
    const Ran ran = run_file(dir.path(), "SPE1999.CSV", files);
    EXPECT_EQ(ran.outcome, outcome);
    EXPECT_EQ(ran.messages, messages);
    if (outcome == endings::converted) {
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

TEST(ConvertContent, ColumnsByHeaderName) {
    const std::vector<LineCase> cases = {
        {"columns in another order, lower-case header, names with spaces around them",
         crlf_lines({"myr,wdist, model ,make,a1,b1,c1,d1,e1,f1,g1,ol,ow,oh,wb,twf,twr,cw",
                     "98,55,Runabout,acme,1"}),
         "<R><MA>acme</MA><MO>Runabout</MO><DA>1" + std::string(42, ' ') +
             "55   98 </DA></R>\r\n\r\n"},
        {"a line ending before MYR fills it with spaces",
         crlf_lines({kHeader, kLine.substr(0, kLine.size() - 3)}),
         kRecord.substr(0, 87) + "   </DA></R>\r\n\r\n"},
        {"values are never escaped; make trimmed, case kept",
         crlf_lines({kHeader, "  a&b  ,<x>\"y\",1,,,,,,,,,,,,,,,"}),
         "<R><MA>a&b</MA><MO><x>\"y\"</MO><DA>1" + std::string(50, ' ') + "</DA></R>\r\n\r\n"},
    };
    for (const auto& c : cases) {
        const Converted got = convert_text(c.content);
        EXPECT_TRUE(got.ok()) << c.what;
        EXPECT_EQ(got.output, c.expected) << c.what;
    }
}

/// A source and all that converting it gives.
struct SourceCase {
    const char* what;
    std::string content;
    RowsEnd result;
    std::string expected;                    // the target, when converted
    std::vector<std::string> messages = {};  // about values
    std::size_t row = 0;                     // the row a refusal names
    std::vector<std::string_view> missing = {};
};

/// Every column read but those named, in the column table's order.
std::vector<std::string_view> all_but(std::initializer_list<std::string_view> present) {
    std::vector<std::string_view> missing = {"MAKE", "MODEL"};
    for (const DataField& field : kDataBlock) missing.push_back(field.name);
    std::erase_if(missing, [&](std::string_view name) {
        return std::find(present.begin(), present.end(), name) != present.end();
    });
    return missing;
}

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

/// The worked example's data line with semicolons, WDIST "5,5".
std::string semicolons() {
    std::string line = kLine;
    std::replace(line.begin(), line.end(), ',', ';');
    return line.replace(line.find(";55;"), 4, ";5,5;");
}

std::string joined(std::initializer_list<std::string_view> lines, std::string_view line_end) {
    std::string text;
    for (std::string_view line : lines) text.append(line).append(line_end);
    return text;
}

std::string breaks(std::string_view make, std::string_view model, std::string_view field,
                   std::string_view value) {
    return "Model: " + std::string(make) + "  " + std::string(model) +
           "\r\n\r\nField: " + std::string(field) + "  Response: " + std::string(value) +
           "  holds a line break.";
}

// Rows as their writers wrote them: each line end, line breaks in quoted
// cells, blank and short rows, a quote never closed, rows counted as a
// spreadsheet counts them.
std::vector<SourceCase> row_cases() {
    using enum RowsEnd;
    const std::string two = kRecord + kRecord + "\r\n";
    const std::string one = kRecord + "\r\n";
    const std::string ten_record =
        "<R><MA>A</MA><MO>B</MO><DA>1  2  34 " + std::string(42, ' ') + "</DA></R>\r\n";
    const std::string notes_header = kHeader + ",NOTES";
    const std::string too_long = with_model("R2").replace(8, 2, "1234");
    const std::string too_long_message =
        "Model: ACME  R2\r\n\r\nField: A1  Response Length:  4   Response: 1234  is longer than: 3";
    return {
        {"header only", crlf_lines({kHeader}), no_rows, ""},
        {"empty file", "", no_rows, ""},
        {"a byte-order mark alone", "\xEF\xBB\xBF", no_rows, ""},
        {"header without a line end", kHeader, no_rows, ""},
        {"only blank and short rows", crlf_lines({kHeader, "", " , ,", "Total"}), no_rows, ""},
        {"a Ctrl-Z stuck to the last row is dropped", kHeader + "\r\n" + kLine + "\x1a", converted,
         one},
        {"rows in source order, the last without a line end",
         kHeader + "\r\n" + kLine + "\r\n" + kLine, converted, two},
        {"a last row ending in a lone CR", kHeader + "\r\n" + kLine + "\r", converted, one},
        {"a row of exactly 10 characters is used", crlf_lines({kHeader, "A,B,1,2,34"}), converted,
         ten_record + "\r\n"},
        {"LF line ends", joined({kHeader, kLine, kLine}, "\n"), converted, two},
        {"CR line ends", joined({kHeader, kLine, kLine}, "\r"), converted, two},
        {"CR LF rows in an LF file", kHeader + "\n" + kLine + "\r\n" + kLine, converted, two},
        {"semicolons and a comma in an LF file",
         joined({quoted_all(kHeader, ';'), semicolons()}, "\n"), converted,
         kRecord.substr(0, 82) + "5,5  98 </DA></R>\r\n\r\n"},
        {"a lone LF in a CR LF file belongs to its value",
         crlf_lines({kHeader, "\n" + kLine}),
         values_rejected,
         "",
         {breaks("\nACME", "RUNABOUT 2", "MAKE", "\nACME")}},
        {"an LF in a CR file belongs to its value",
         joined({kHeader, kLine, "\n" + kLine}, "\r"),
         values_rejected,
         "",
         {breaks("\nACME", "RUNABOUT 2", "MAKE", "\nACME")}},
        {"line breaks in a quoted column not taken",
         crlf_lines({notes_header, kLine + ",\"one\r\ntwo\nthree\"", kLine + ",\"\r\n\""}),
         converted, two},
        {"line breaks in quoted values: MAKE and MODEL first, then the fields",
         crlf_lines({"A1,MODEL,MAKE,B1,C1,D1,E1,F1,G1,OL,OW,OH,WB,TWF,TWR,CW,WDIST,MYR",
                     "\"1\n\",\"Transit\r\nCustom\",\"A\rB\""}),
         values_rejected,
         "",
         {breaks("A\rB", "Transit\r\nCustom", "MAKE", "A\rB"),
          breaks("A\rB", "Transit\r\nCustom", "MODEL", "Transit\r\nCustom"),
          breaks("A\rB", "Transit\r\nCustom", "A1", "1\n")}},
        {"a quote never closed before the end",
         crlf_lines({kHeader, kLine, kLine, with_model("\"R2")}),
         unclosed_quote,
         "",
         {},
         4},
        {"a stray quote taking in whole rows, after a row's messages",
         crlf_lines({kHeader, too_long, with_model("\"R2"), kLine, with_model("R2\"")}),
         unclosed_quote,
         "",
         {too_long_message},
         3},
        {"a stray quote in a notes cell taking in the next row up to its own note",
         crlf_lines({notes_header, kLine + ",\"stray note", kLine + ",\"real note\"", kLine}),
         unclosed_quote,
         "",
         {},
         2},
        {"a stray quote closed by the next row's opening quote",
         crlf_lines({"MAKE,NOTES,MODEL,A1,B1,C1,D1,E1,F1,G1,OL,OW,OH,WB,TWF,TWR,CW,WDIST,MYR",
                     "ACME,\"stray note,R1,1", "BETA,\"real note\",SWIFT,2"}),
         unclosed_quote,
         "",
         {},
         2},
        {"a quote in the header never closed",
         "\"" + kHeader + "\n" + kLine,
         unclosed_quote,
         "",
         {},
         1},
        {"blank rows anywhere are passed over",
         crlf_lines({kHeader, "", kLine, "   ,    ,   ", "\" \",\"\"", kLine, "  "}), converted,
         two},
        {"short rows at the end end the data", crlf_lines({kHeader, kLine, "Total", "\x1a", ""}),
         converted, one},
        {"a short row with data after it, rows counted as a spreadsheet does",
         crlf_lines({notes_header, kLine, kLine + ",\"a\r\nb\"", "", "A,B,1,2,3", "", kLine}),
         rows_after_short_row,
         "",
         {},
         5},
        {"a short header with data after it",
         crlf_lines({"MAKE,A1", kLine}),
         missing_columns,
         "",
         {},
         0,
         all_but({"MAKE", "A1"})},
        {"a short header naming none, with data after it",
         crlf_lines({"X,Y", kLine}),
         rows_after_short_row,
         "",
         {},
         1},
        {"values shown cut after 200 bytes, a UTF-8 character whole, their length whole",
         crlf_lines({kHeader, "ACME," + std::string(199, 'm') + "\xc3\xa9" + "," +
                                  std::string(250, '1') +
                                  ",345,,7,100,99,5,480,178,145,270,150,"
                                  "151,1250,55,98"}),
         values_rejected,
         "",
         {"Model: ACME  " + std::string(199, 'm') +
          "...\r\n\r\nField: A1  Response Length:  250   Response: " + std::string(200, '1') +
          "...  is longer than: 3"}},
    };
}

// Sources as spreadsheets and databases save them.
std::vector<SourceCase> csv_cases() {
    using enum RowsEnd;
    const std::string record_start = "<R><MA>ACME</MA><MO>";
    const std::string record_rest = kRecord.substr(record_start.size() + 10) + "\r\n";
    auto target = [&](std::string_view model) {
        return record_start + std::string(model) + record_rest;
    };
    return {
        {"a byte-order mark before the header", "\xEF\xBB\xBF" + crlf_lines({kHeader, kLine}),
         converted, std::string(kExampleTarget)},
        {"a quoted value holding a comma", crlf_lines({kHeader, with_model("\"X, Y\"")}), converted,
         target("X, Y")},
        {"a doubled quote stands for one", crlf_lines({kHeader, with_model("\"Type \"\"S\"\"\"")}),
         converted, target("Type \"S\"")},
        {"a model beginning with a quote", crlf_lines({kHeader, with_model("\"\"\"Q\"\" 2\"")}),
         converted, target("\"Q\" 2")},
        {"what follows the closing quote is kept", crlf_lines({kHeader, with_model("\"X\"Y ")}),
         converted, target("XY")},
        {"a quote inside a value stands as it is", crlf_lines({kHeader, with_model("5\" \"R\"")}),
         converted, target("5\" \"R\"")},
        {"every field quoted, header included",
         crlf_lines({quoted_all(kHeader, ','), quoted_all(kLine, ',')}), converted,
         std::string(kExampleTarget)},
        {"semicolons, a decimal comma in a value",
         crlf_lines({quoted_all(kHeader, ';'), semicolons()}), converted,
         kRecord.substr(0, 82) + "5,5  98 </DA></R>\r\n\r\n"},
        {"a quoted over-long value is shown without its quotes",
         crlf_lines(
             {kHeader, "ACME,R2,\" 1,234 \",345,,7,100,99,5,480,178,145,270,150,151,1250,55,98"}),
         values_rejected,
         "",
         {"Model: ACME  R2\r\n\r\nField: A1  Response Length:  5   Response: 1,234  is longer "
          "than: 3"}},
        {"a first line naming no known column",
         crlf_lines({"Year,Remark,Editor", "2019,Complete; sent,Ann"}), no_known_column, ""},
        {"a UTF-16 file", utf16(crlf_lines({kHeader, kLine})), no_known_column, ""},
        {"a header naming some columns",
         crlf_lines({"Year,MODEL,Remark", "2019,Complete,sent"}),
         missing_columns,
         "",
         {},
         0,
         all_but({"MODEL"})},
        {"a column missing, or misspelt",
         crlf_lines({"MAKE,MODEL,A1,B1,C1,D1,E1,F1,G1,OL,OW,OH,WB,TW F,CW,WDIST,MYR", kLine}),
         missing_columns,
         "",
         {},
         0,
         {"TWF", "TWR"}},
    };
}

// One sheet saved as "CSV UTF-8", with and without its byte-order mark, and
// as plain "CSV" in Windows-1252: one target, in Windows-1252, widths
// counted in its characters.
std::vector<SourceCase> code_page_cases() {
    using enum RowsEnd;
    const auto sheet = [](std::string_view make, std::string_view a1) {
        return crlf_lines({kHeader, std::string(make) + ",C5," + std::string(a1) +
                                        ",345,,7,100,99,5,480,178,145,270,150,151,1250,55,98"});
    };
    const auto target = [](std::string_view make, std::string_view a1) {
        return "<R><MA>" + std::string(make) + "</MA><MO>C5</MO><DA>" + std::string(a1) +
               kRecord.substr(42) + "\r\n";
    };
    const std::string utf8 = "Citro\xc3\xabn \xe2\x82\xac\xc2\x81";
    const std::string cp1252 = "Citro\xebn \x80\x81";
    const std::string o_slash = "\xc3\x98";   // Ø in UTF-8,
    const std::string o_slash_1252 = "\xd8";  // and in Windows-1252
    return {
        {"CSV UTF-8", sheet(utf8, o_slash + "6"), converted, target(cp1252, o_slash_1252 + "6 ")},
        {"CSV UTF-8 with its mark", "\xEF\xBB\xBF" + sheet(utf8, o_slash + "6"), converted,
         target(cp1252, o_slash_1252 + "6 ")},
        {"plain CSV", sheet(cp1252, o_slash_1252 + "6"), converted,
         target(cp1252, o_slash_1252 + "6 ")},
        {"a character of two bytes fits a field of its width", sheet("A", o_slash + "16"),
         converted, target("A", o_slash_1252 + "16")},
        {"and is one character of a value too long",
         sheet("A", o_slash + "160"),
         values_rejected,
         "",
         {"Model: A  C5\r\n\r\nField: A1  Response Length:  4   Response: " + o_slash +
          "160  is longer than: 3"}},
        {"characters outside the code page",
         sheet("\xc4\x80udi", "\xf0\x9f\x98\x80"),
         values_rejected,
         "",
         {"Model: \xc4\x80udi  C5\r\n\r\nField: MAKE  Response: \xc4\x80udi  cannot be written in "
          "code page 1252.",
          "Model: \xc4\x80udi  C5\r\n\r\nField: A1  Response: \xf0\x9f\x98\x80  cannot be written "
          "in code page 1252."}},
    };
}

TEST(ConvertContent, ReadsRowsAndCsvAsTheirWritersWroteThem) {
    for (const auto& cases : {row_cases(), csv_cases(), code_page_cases()}) {
        for (const SourceCase& c : cases) {
            const Converted got = convert_text(c.content);
            EXPECT_EQ(got.outcome.end, c.result) << c.what;
            EXPECT_EQ(got.outcome.row, c.row) << c.what;
            EXPECT_EQ(got.output, c.expected) << c.what;
            EXPECT_EQ(got.messages, c.messages) << c.what;
            EXPECT_EQ(got.outcome.missing, c.missing) << c.what;
            expect_same_as_reference(c.content, c.what);
        }
    }
}

TEST(ConvertContent, EveryOverLongValueIsReportedInLineAndColumnOrder) {
    // Two over-long values in each of three rows, then a short row that
    // refuses the run when a fourth bad row follows it, after the messages
    // before it.
    const std::string content = crlf_lines({
        kHeader,
        "Zeta,Z1,1234,3456,,7,100,99,5,480,178,145,270,150,151,1250,55,98",
        "Zeta,Z2,1,345,,7,100,99,5,480,178,145,270,150,151,12345,55,98",
        "Ohm,Z3,1,345,,7,100,99,5,480,178,145,270,150,151,1250,123456,9999",
        "short",
        "Zeta,Z4,1234,345,,7,100,99,5,480,178,145,270,150,151,1250,55,98",
    });
    const Converted c = convert_text(content);
    EXPECT_EQ(c.outcome.end, RowsEnd::rows_after_short_row);
    EXPECT_EQ(c.outcome.row, 5u);
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
    for (const auto& c : row_cases()) contents.push_back(c.content);
    for (const auto& c : csv_cases()) contents.push_back(c.content);
    for (const auto& c : code_page_cases()) contents.push_back(c.content);
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
            const reference::Verdict verdict = reference::convert(content, expected, messages);
            for (std::size_t block = 1; block <= content.size() + 1; ++block) {
                const Converted got = convert_text(content, block, scanner);
                EXPECT_EQ(static_cast<int>(got.outcome.end), static_cast<int>(verdict.result))
                    << name << " " << block;
                EXPECT_EQ(got.outcome.row, verdict.row) << name << " " << block;
                EXPECT_EQ(got.messages, messages) << name << " " << block;
                EXPECT_EQ(got.output, got.ok() ? expected : "") << name << " " << block;
                if (HasFailure()) return;
            }
        }
    }
    if (!missing.empty())
        GTEST_SKIP() << "this processor or build has no " << missing.front() << " path";
}

// Random sources built from the pieces that matter, as writers make them:
// header names in any case and with spaces, each line end, quoted line
// breaks in MODEL and in a column not taken, blank, short and junk rows,
// stray quotes, long values, UTF-8 and Windows-1252 values, characters
// outside Windows-1252, two-byte characters near a field's width.
TEST(ConvertContent, AgreesWithTheReferenceInMemoryAndThroughFiles) {
    const std::vector<std::string> pieces = {"MAKE",
                                             "model",
                                             "A1",
                                             " A1",
                                             "cw",
                                             "WDIST",
                                             "MYR",
                                             "b1",
                                             "x",
                                             "",
                                             " ",
                                             "  12 ",
                                             "1234",
                                             "12345",
                                             "\t",
                                             "\"",
                                             "\"\"",
                                             "\",\"",
                                             ";",
                                             "\"1;2\"",
                                             "<&>",
                                             "\r\n",
                                             "\r",
                                             "\n",
                                             "\r\n\r\n",
                                             "0123456789",
                                             "\"Transit\r\nCustom\"",
                                             "\"a\nb\"",
                                             "\"\r\"",
                                             ",,,",
                                             "Total",
                                             "\x1a",
                                             "Citro\xc3\xabn",
                                             "Citro\xebn",
                                             "\xe9",
                                             "\xc4\x80",
                                             "\xe2\x82\xac",
                                             "\xf0\x9f\x98\x80",
                                             "\xc3\x98"
                                             "1",
                                             "\xc3\x98"
                                             "12",
                                             "12\xc3"};
    const std::string line_ends[] = {"\r\n", "\n", "\r"};
    std::mt19937 random(2024);
    auto pick = [&] {
        return pieces[std::uniform_int_distribution<std::size_t>(0, pieces.size() - 1)(random)];
    };
    for (int round = 0; round < 3000; ++round) {
        std::string content = round % 5 == 0 ? "\xEF\xBB\xBF" : "";
        // Often a real header, so that data rows are read and checked.
        if (round % 3 != 0) content += kHeader + ",NOTES" + line_ends[round % 3];
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
