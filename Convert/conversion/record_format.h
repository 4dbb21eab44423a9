// The target file's records: one line per data line,
//   <R><MA>make</MA><MO>model</MO><DA>data block</DA></R> CR LF
// and one more CR LF after the last record. Values are written as they are,
// never escaped.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace convert {

struct DataField {
    std::string_view name;
    int width;
};

/// The sixteen data-block columns in record order, each with its fixed width.
inline constexpr std::array<DataField, 16> kDataBlock = {{
    {"A1", 3}, {"B1", 3}, {"C1", 3}, {"D1", 3}, {"E1", 3}, {"F1", 3}, {"G1", 3}, {"OL", 3},
    {"OW", 3}, {"OH", 3}, {"WB", 3}, {"TWF", 3}, {"TWR", 3}, {"CW", 4}, {"WDIST", 5}, {"MYR", 3},
}};

/// Data-block values in kDataBlock order. std::nullopt marks a column the
/// header lacks: its field is left out and later fields move left.
using DataBlockValues = std::array<std::optional<std::string_view>, kDataBlock.size()>;

/// Number of bytes append_record adds for these values, CR LF included.
std::size_t record_size(std::string_view make, std::string_view model,
                        const DataBlockValues& fields);

/// Appends one record and its CR LF. Each present field is filled with spaces
/// on the right, or cut, to its width.
void append_record(std::string& out, std::string_view make, std::string_view model,
                   const DataBlockValues& fields);

/// What follows the last record.
inline constexpr std::string_view kFileEnd = "\r\n";

}  // namespace convert
