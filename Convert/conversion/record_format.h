// The target file's records: one line per data line,
//   <R><MA>make</MA><MO>model</MO><DA>data block</DA></R> CR LF
// and one more CR LF after the last record. Values are written as they are,
// never escaped.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
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

/// A data-block field as its record holds it: up to 8 bytes of its value,
/// then spaces, in memory order; the record takes its width's first bytes.
using FieldBytes = std::uint64_t;
using DataBlockBytes = std::array<FieldBytes, kDataBlock.size()>;

/// The bytes of a field with no value.
inline constexpr FieldBytes kNoFieldBytes = 0x2020202020202020;

/// The mask of a value's first `size` bytes (all 8 from 8 on), in memory
/// order: the least significant bytes on little-endian processors, the most
/// on big-endian ones. Two shifts of half the width each, so that all 8
/// bytes shift without overflow.
inline FieldBytes kept_bytes(std::size_t size) {
    const auto half = static_cast<unsigned>(4 * std::min<std::size_t>(size, 8));
    return std::endian::native == std::endian::little ? ((FieldBytes{1} << half) << half) - 1
                                                      : ~((~FieldBytes{0} >> half) >> half);
}

/// `bytes`, loaded from a value's start, kept for the value's first `size`
/// bytes (at most 8) and spaces after them.
inline FieldBytes padded(FieldBytes bytes, std::size_t size) {
    const FieldBytes kept = kept_bytes(size);
    return (bytes & kept) | (kNoFieldBytes & ~kept);
}

/// The field bytes of `value`; 8 bytes must be readable from its start.
inline FieldBytes field_bytes(std::string_view value) {
    FieldBytes bytes;
    std::memcpy(&bytes, value.data(), 8);
    return padded(bytes, value.size());
}

/// Where the fields of a header's records stand, worked out once.
class RecordLayout {
public:
    explicit RecordLayout(const DataBlockColumns& present);

    /// Appends one record and its CR LF, each field the header has at its
    /// width. 8 bytes must be readable from a make's or a model's end (as
    /// ColumnTable gives them).
    void append(TargetBuffer& out, std::string_view make, std::string_view model,
                const DataBlockBytes& fields) const;

private:
    std::array<std::uint8_t, kDataBlock.size()> fields_{};   // those the header has, in order
    std::array<std::uint8_t, kDataBlock.size()> offsets_{};  // where each starts in the block
    std::size_t count_ = 0;
    std::size_t data_width_ = 0;
};

}  // namespace convert
