// The target file's records: one line per data line,
//   <R><MA>make</MA><MO>model</MO><DA>data block</DA></R> CR LF
// and one more CR LF after the last record. Values are written as they are,
// never escaped.
#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <span>
#include <string_view>

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

/// The record's fixed pieces, around make, model and data block.
inline constexpr std::string_view kRecordStart = "<R><MA>";
inline constexpr std::string_view kMakeToModel = "</MA><MO>";
inline constexpr std::string_view kModelToData = "</MO><DA>";
inline constexpr std::string_view kRecordEnd = "</DA></R>\r\n";
/// What follows the last record.
inline constexpr std::string_view kFileEnd = "\r\n";

/// What a record adds to its make and model at the most: the fixed pieces
/// and every field of the data block.
inline constexpr std::size_t kLargestRecordOverhead = [] {
    std::size_t size =
        kRecordStart.size() + kMakeToModel.size() + kModelToData.size() + kRecordEnd.size();
    for (const DataField& field : kDataBlock) size += static_cast<std::size_t>(field.width);
    return size;
}();

/// A target file's content, built in place in storage allocated once and
/// never filled in advance: what stays unused costs address space only.
class TargetBuffer {
public:
    TargetBuffer() = default;
    explicit TargetBuffer(std::size_t capacity);

    /// The next `size` bytes to write. Throws std::length_error when they
    /// would pass the capacity.
    char* extend(std::size_t size);
    void append(std::string_view text);

    std::string_view view() const { return {data_.get(), size_}; }

private:
    std::unique_ptr<char[]> data_;
    std::size_t capacity_ = 0;
    std::size_t size_ = 0;
};

/// Appends one record and its CR LF. Each field the header has is filled
/// with spaces on the right, or cut, to its width.
void append_record(TargetBuffer& out, std::string_view make, std::string_view model,
                   DataBlockValues fields, const DataBlockColumns& present);

}  // namespace convert
