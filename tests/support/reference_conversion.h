// A slow, literal conversion for checking the fast one, written from the
// rules alone and sharing no code with the program: its own column table,
// trimming, padding, upper-casing and message text. It cuts the content into
// lines at the file's line end, joins lines while a quoted field is open,
// and looks up every field of every row by scanning the header and the row
// afresh, as the field procedures G_GET_FIELD, G_PADR and G_CHECK_LEN
// describe.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace reference {

enum class Result {
    converted,
    values_rejected,
    no_known_column,
    missing_columns,
    unclosed_quote,
    rows_after_short_row,
    no_rows,
};

struct Verdict {
    Result result;
    std::size_t row = 0;                    // for unclosed_quote and rows_after_short_row
    std::vector<std::string> missing = {};  // for missing_columns, in the column table's order
};

/// Fills `output` with the target content (built even when a check fails;
/// empty when the run is refused) and `messages` with the messages about
/// values in order.
Verdict convert(std::string_view file_content, std::string& output,
                std::vector<std::string>& messages);

}  // namespace reference
