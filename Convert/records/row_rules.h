// A source's rows into target records, by the rules every source follows:
// the header row names the columns (all of them), blank rows are passed
// over, short rows end the data, and every value of every data row is
// checked before its record is written, all or nothing.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "records/run_report.h"
#include "records/target_buffer.h"
#include "sources/byte_scan.h"
#include "sources/byte_source.h"
#include "sources/row_source.h"
#include "text/code_page.h"

namespace convert {

/// How converting the rows ended.
enum class RowsEnd {
    converted,             // every value fits; the whole target went to the output
    values_rejected,       // at least one value was reported
    no_known_column,       // a header row long enough for data names no column read
    missing_columns,       // the header names some columns read, but not all
    unclosed_quote,        // a quoted field of `row` is never closed
    rows_after_short_row,  // data rows follow the short row `row`
    no_rows,               // no row of data: empty, a header alone, blank or short rows
    row_too_long,          // `row` is longer than kLongestRow
    cell_refused,          // the source refused to read `cell`, in row `row`
};

struct RowsResult {
    RowsEnd end = RowsEnd::converted;
    std::size_t row = 0;                         // the row a refusal names
    std::vector<std::string_view> missing = {};  // the columns read that the header lacks
    CellRefusal cell = {};
};

/// Converts the rows of a source into its target, reporting every value the
/// target cannot take (over-long, holding a line break, or not in
/// `code_page`) to `report` in row and column order. The target's bytes go
/// to `output` as they are built; unless every value fits, `output` is
/// abandoned at once.
RowsResult convert_rows(RowSource& rows, TargetBuffer& output, RunReport& report,
                        const CodePage& code_page = target_code_page());

}  // namespace convert
