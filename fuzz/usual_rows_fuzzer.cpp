// libFuzzer target: arbitrary bytes as a sheet's XML inside a well-made
// workbook, the first byte picking .xlsx or .ods. Its rows, cells and
// refusals, read with the usual rows taken from the bytes, must be those the
// parser alone gives, to the words and line of a refusal.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "test_support.h"
#include "workbooks/workbook_rows.h"
#include "zip_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const bool xlsx = (data[0] & 1) != 0;
    const std::string sheet(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::string file = xlsx ? testing_support::xlsx_around(sheet, false)
                                  : testing_support::ods_around(sheet, false);
    const auto [usual, parsed] = testing_support::workbook_rows_both_ways(
        xlsx ? convert::xlsx_rows : convert::ods_rows, file);
    if (usual != parsed) {
        std::fprintf(stderr, "usual rows first:\n%s\nparser only:\n%s\n", usual.c_str(),
                     parsed.c_str());
        std::abort();
    }
    return 0;
}
