// The conversion of a source's rows into target records: the header row
// names the columns, each further row that is neither blank nor short is a
// data row, and every value of it is checked before its record is written.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "records/byte_scan.h"
#include "records/run_report.h"
#include "records/source_rows.h"
#include "records/target_buffer.h"
#include "text/code_page.h"

namespace convert {

enum class RowsResult {
    converted,             // every value fits; the whole target went to the output
    values_rejected,       // at least one message about a value was passed on
    no_known_column,       // a header row long enough for data names no column read
    missing_columns,       // the header names some columns read, but not all
    unclosed_quote,        // a quoted field of `row` is never closed
    rows_after_short_row,  // data rows follow the short row `row`
    no_rows,               // no row of data: empty, a header alone, blank or short rows
    row_too_long,          // `row` is longer than kLongestRow
};

struct RowsOutcome {
    RowsResult result;
    std::size_t row = 0;                    // the row a refusal names
    std::vector<std::string_view> missing = {};  // the columns read that the header lacks
};

/// Rows shorter than this (line end not counted) end the data, unless data
/// rows follow them.
inline constexpr std::size_t kShortestRow = 10;

/// Converts the rows of a source file into its target, passing the message
/// of every value the target cannot take (over-long, holding a line break,
/// or not in `code_page`) to `report` in row and column order. The header
/// must name MAKE, MODEL and every field. Values
/// of MAKE, MODEL and the fields that are UTF-8 beyond ASCII are written in
/// `code_page`, and their widths counted in its bytes; all others are
/// written as they stand. Blank rows are passed over. The target's bytes go
/// to `output` as they are built; unless every value fits, `output` is
/// abandoned at once.
RowsOutcome convert_rows(SourceRows& rows, TargetBuffer& output, RunReport& report,
                         const CodePage& code_page = target_code_page());

/// convert_rows on a content in memory, read `block_size` bytes at a time
/// and divided by `scanner`; `output` is left empty unless every value fits.
RowsOutcome convert_content(std::string_view content, std::string& output, RunReport& report,
                            const CodePage& code_page = target_code_page(),
                            std::size_t block_size = kBlockSize,
                            ChunkScanner scanner = fastest_chunk_scanner());

/// In the messages below, make, model and value are each cut after
/// kLongestShownValue bytes (less a UTF-8 character the cut would split) and
/// followed by "...".
inline constexpr std::size_t kLongestShownValue = 200;

/// The message that reports a value whose `length` in the target's code
/// page is more than its permitted width:
///   "Model: " make "  " model CR LF CR LF "Field: " field
///   "  Response Length: " " " length "   Response: " value
///   "  is longer than: " width
std::string over_length_message(std::string_view make, std::string_view model,
                                std::string_view field, std::string_view value, std::size_t length,
                                int width);

/// The message that reports a value holding a CR or LF, which a record,
/// being one line, cannot hold:
///   "Model: " make "  " model CR LF CR LF "Field: " field
///   "  Response: " value "  holds a line break."
std::string line_break_message(std::string_view make, std::string_view model,
                               std::string_view field, std::string_view value);

/// The message that reports a value holding a character the target's code
/// page has no bytes for:
///   "Model: " make "  " model CR LF CR LF "Field: " field
///   "  Response: " value "  cannot be written in code page " number "."
std::string code_page_message(std::string_view make, std::string_view model, std::string_view field,
                              std::string_view value, unsigned code_page);

}  // namespace convert
