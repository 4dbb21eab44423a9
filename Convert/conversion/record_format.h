// The target file's records: one line per data line,
//   <R><MA>make</MA><MO>model</MO><DA>data block</DA></R> CR LF
// and one more CR LF after the last record. Values are written as they are,
// never escaped.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string_view>

#include "target_buffer.h"

namespace convert {

struct DataField {
    std::string_view name;
    int width;
};

/// The sixteen data-block columns in record order, each with its fixed width.
// clang-format off
inline constexpr std::array<DataField, 16> kDataBlock = {{
    {"A1", 3}, {"B1", 3}, {"C1", 3}, {"D1", 3}, {"E1", 3}, {"F1", 3}, {"G1", 3}, {"OL", 3},
    {"OW", 3}, {"OH", 3}, {"WB", 3}, {"TWF", 3}, {"TWR", 3}, {"CW", 4}, {"WDIST", 5}, {"MYR", 3},
}};
// clang-format on

/// Data-block values in kDataBlock order.
using DataBlockValues = std::span<const std::string_view, kDataBlock.size()>;
/// Which data-block columns the header has. A column it lacks takes no room
/// in the data block: later fields move left.
using DataBlockColumns = std::array<bool, kDataBlock.size()>;

/// What follows the last record.
inline constexpr std::string_view kFileEnd = "\r\n";

/// Appends one record and its CR LF. Each field the header has is filled
/// with spaces on the right, or cut, to its width.
void append_record(TargetBuffer& out, std::string_view make, std::string_view model,
                   DataBlockValues fields, const DataBlockColumns& present);

}  // namespace convert
