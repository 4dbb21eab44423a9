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
#include <string_view>

#include "records/target_buffer.h"
#include "sources/padded_bytes.h"

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

/// Where each field starts in the data block, and the block's width.
inline constexpr std::array<std::uint8_t, kDataBlock.size()> kFieldOffsets = [] {
    std::array<std::uint8_t, kDataBlock.size()> offsets{};
    for (std::size_t i = 1; i < kDataBlock.size(); ++i) {
        offsets[i] = static_cast<std::uint8_t>(offsets[i - 1] + kDataBlock[i - 1].width);
    }
    return offsets;
}();
inline constexpr std::size_t kDataBlockWidth = kFieldOffsets.back() + kDataBlock.back().width;
static_assert(kDataBlockWidth == 51);

/// What follows the last record.
inline constexpr std::string_view kFileEnd = "\r\n";

/// A data-block field as its record holds it: up to 8 bytes of its value,
/// then spaces, in memory order; the record takes its width's first bytes.
using FieldBytes = std::uint64_t;
using DataBlockBytes = std::array<FieldBytes, kDataBlock.size()>;
static_assert(kPadding >= sizeof(FieldBytes), "a field's value is loaded whole");
static_assert(std::all_of(kDataBlock.begin(), kDataBlock.end(),
                          [](const DataField& field) {
                              return field.width > 0 &&
                                     field.width <= static_cast<int>(sizeof(FieldBytes));
                          }),
              "a field's bytes are held in one FieldBytes");

/// The bytes of a field with no value.
inline constexpr FieldBytes kNoFieldBytes = 0x2020202020202020;

/// The mask of a value's first `size` bytes (all 8 from 8 on), in memory
/// order: the least significant bytes on little-endian processors, the most
/// on big-endian ones.
inline FieldBytes kept_bytes(std::size_t size) {
    static constexpr std::array<FieldBytes, 9> kMasks = [] {
        std::array<FieldBytes, 9> masks{};
        for (unsigned n = 1; n <= 8; ++n) {
            const FieldBytes ones = n == 8 ? ~FieldBytes{0} : (FieldBytes{1} << (8 * n)) - 1;
            masks[n] =
                std::endian::native == std::endian::little ? ones : ~(~FieldBytes{0} >> (8 * n));
        }
        return masks;
    }();
    return kMasks[std::min<std::size_t>(size, 8)];
}

/// `bytes`, loaded from a value's start, kept for the value's first `size`
/// bytes (at most 8) and spaces after them.
inline FieldBytes padded(FieldBytes bytes, std::size_t size) {
    const FieldBytes kept = kept_bytes(size);
    return (bytes & kept) | (kNoFieldBytes & ~kept);
}

/// The field bytes of `value`, loaded from its start.
inline FieldBytes field_bytes(PaddedView value) {
    FieldBytes bytes;
    std::memcpy(&bytes, value.data(), 8);
    return padded(bytes, value.size());
}

/// Appends one record and its CR LF, each field at its width.
void append_record(TargetBuffer& out, PaddedView make, PaddedView model,
                   const DataBlockBytes& fields);

}  // namespace convert
