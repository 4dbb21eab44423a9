// The target file's records: one line per data line,
//   <R><MA>make</MA><MO>model</MO><DA>data block</DA></R> CR LF
// and one more CR LF after the last record. Values are written as they are,
// never escaped.
#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <span>
#include <string>
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

/// Where a target's bytes go as they are built.
class TargetSink {
public:
    virtual ~TargetSink() = default;
    virtual void write(std::string_view bytes) = 0;
    /// The target will never be complete: what was written is of no use.
    virtual void abandon() = 0;
};

/// Gathers a target's bytes and passes them on to its sink a block at a
/// time. Memory grows from a small start to one block, or to the largest
/// record when a record is larger than a block.
class TargetBuffer {
public:
    static constexpr std::size_t kDefaultBlockSize = 1 << 20;

    explicit TargetBuffer(TargetSink& sink, std::size_t block_size = kDefaultBlockSize);

    /// The next `size` bytes to write; valid until the next call.
    char* extend(std::size_t size);
    void append(std::string_view text);
    /// Passes every byte gathered so far on to the sink.
    void flush();
    /// Drops the gathered bytes and abandons the sink; later bytes are
    /// dropped too.
    void abandon();

private:
    void grow(std::size_t capacity);

    TargetSink& sink_;
    std::size_t block_size_;
    std::unique_ptr<char[]> data_;
    std::size_t capacity_;
    std::size_t size_ = 0;
    bool abandoned_ = false;
};

/// Keeps a whole target in memory.
class StringSink : public TargetSink {
public:
    std::string bytes;
    void write(std::string_view more) override { bytes.append(more); }
    void abandon() override { bytes.clear(); }
};

/// Appends one record and its CR LF. Each field the header has is filled
/// with spaces on the right, or cut, to its width.
void append_record(TargetBuffer& out, std::string_view make, std::string_view model,
                   DataBlockValues fields, const DataBlockColumns& present);

}  // namespace convert
