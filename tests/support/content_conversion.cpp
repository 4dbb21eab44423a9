#include "content_conversion.h"

#include <utility>

#include "sources/csv_rows.h"

namespace testing_support {

convert::RowsResult convert_content(std::string_view content, std::string& output,
                                    convert::RunReport& report, const convert::CodePage& code_page,
                                    std::size_t block_size, convert::ChunkScanner scanner) {
    using namespace convert;
    MemorySource source(content, block_size);
    CsvRows rows(source, block_size, scanner);
    StringSink sink;
    TargetBuffer buffer(sink, block_size);
    const RowsResult result = convert_rows(rows, buffer, report, code_page);
    output = std::move(sink.bytes);
    return result;
}

}  // namespace testing_support
