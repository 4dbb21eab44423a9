// A conversion of a CSV content held in memory, as the tests and the fuzz
// target run it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "records/row_rules.h"

namespace testing_support {

/// convert_rows on a CSV content in memory, read `block_size` bytes at a
/// time and divided by `scanner`; `output` is left empty unless every value
/// fits.
convert::RowsResult convert_content(
    std::string_view content, std::string& output, convert::RunReport& report,
    const convert::CodePage& code_page = convert::target_code_page(),
    std::size_t block_size = convert::kBlockSize,
    convert::ChunkScanner scanner = convert::fastest_chunk_scanner());

}  // namespace testing_support
