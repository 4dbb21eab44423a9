#include "conversion.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <span>
#include <utility>
#include <vector>

#include "ascii_text.h"
#include "column_table.h"
#include "record_format.h"

namespace convert {

namespace {

// The columns a run reads: MAKE and MODEL, then the data block in order.
constexpr std::size_t kMake = 0;
constexpr std::size_t kModel = 1;
constexpr std::size_t kFirstField = 2;
constexpr std::size_t kColumnCount = kFirstField + kDataBlock.size();

constexpr std::array<std::string_view, kColumnCount> run_columns() {
    std::array<std::string_view, kColumnCount> names{"MAKE", "MODEL"};
    for (std::size_t i = 0; i < kDataBlock.size(); ++i) names[kFirstField + i] = kDataBlock[i].name;
    return names;
}
constexpr std::array<std::string_view, kColumnCount> kRunColumns = run_columns();

/// A line shorter than this (its CR not counted) ends the data.
constexpr std::size_t kShortestLine = 10;

/// The field widths, in kDataBlock order.
constexpr std::array<std::size_t, kDataBlock.size()> widths() {
    std::array<std::size_t, kDataBlock.size()> widths{};
    for (std::size_t i = 0; i < kDataBlock.size(); ++i) {
        widths[i] = static_cast<std::size_t>(kDataBlock[i].width);
    }
    return widths;
}
constexpr std::array<std::size_t, kDataBlock.size()> kWidths = widths();

class LineReader {
public:
    explicit LineReader(std::string_view header, ChunkScanner scanner)
        : table_(header, kRunColumns, scanner),
          layout_(present(table_)),
          slot_of_column_(table_.columns() + 64, kUnread) {
        for (std::size_t column = 0; column < table_.columns(); ++column) {
            if (const int name = table_.name_at(column); name >= 0) {
                slot_of_column_[column] = static_cast<std::uint8_t>(name);
            }
        }
    }

    bool knows_any_column() const { return table_.has_any(); }

    /// Appends the record of a usual line (no quotes, every value fitting,
    /// no data value holding a space) in one pass over its separators.
    /// False, having written nothing, for any other line, which is then
    /// read() and checked field by field.
    bool append_usual(std::string_view line, TargetBuffer& output) const {
        if constexpr (std::endian::native != std::endian::little) return false;
        // Where each read column's field starts in the line, and its size;
        // columns the line ends before stay empty, unread ones go to a slot
        // of their own.
        if (line.size() > UINT32_MAX) return false;
        std::array<std::uint32_t, kColumnCount + 1> starts{};
        std::array<std::uint32_t, kColumnCount + 1> sizes{};
        const char* const base = line.data();
        const bool unquoted =
            table_.each_field(line, [&](std::size_t column, const char* start, std::size_t size) {
                const std::size_t slot = slot_of_column_[column];
                starts[slot] = static_cast<std::uint32_t>(start - base);
                sizes[slot] = static_cast<std::uint32_t>(size);
            });
        if (!unquoted) return false;
        // One 8-byte load per field, checked without branches: the usual line
        // takes none. A value holding a space anywhere (rare in these codes)
        // takes the careful way, which trims it.
        constexpr FieldBytes kOnes = 0x0101010101010101;
        constexpr FieldBytes kHighs = 0x8080808080808080;
        FieldBytes unusual = 0;
        DataBlockBytes fields;
        for (std::size_t i = 0; i < kDataBlock.size(); ++i) {
            const std::size_t size = sizes[kFirstField + i];
            FieldBytes bytes;
            std::memcpy(&bytes, base + starts[kFirstField + i], sizeof bytes);
            const FieldBytes kept = kept_bytes(size);
            const FieldBytes value = bytes & kept;
            // A zero byte where the value has a space; none past its end.
            const FieldBytes spaces = (value ^ kNoFieldBytes) | (~kept & kOnes);
            unusual |= ((spaces - kOnes) & ~spaces & kHighs) | FieldBytes{size > kWidths[i]};
            fields[i] = value | (kNoFieldBytes & ~kept);
        }
        if (unusual != 0) return false;
        layout_.append(output, trim_spaces(std::string_view(base + starts[kMake], sizes[kMake])),
                       trim_spaces(std::string_view(base + starts[kModel], sizes[kModel])), fields);
        return true;
    }

    void read(std::string_view line) { table_.read(line, columns_); }

    std::string_view make() const { return columns_[kMake]; }
    std::string_view model() const { return columns_[kModel]; }
    DataBlockValues fields() const {
        return std::span<const std::string_view, kColumnCount>(columns_)
            .subspan<kFirstField, kDataBlock.size()>();
    }
    void append(TargetBuffer& output) const {
        DataBlockBytes bytes;
        for (std::size_t i = 0; i < kDataBlock.size(); ++i) bytes[i] = field_bytes(fields()[i]);
        layout_.append(output, make(), model(), bytes);
    }

private:
    static DataBlockColumns present(const ColumnTable& table) {
        DataBlockColumns present{};
        for (std::size_t i = 0; i < kDataBlock.size(); ++i) present[i] = table.has(kFirstField + i);
        return present;
    }

    static constexpr std::uint8_t kUnread = kColumnCount;

    ColumnTable table_;
    RecordLayout layout_;
    std::vector<std::uint8_t> slot_of_column_;  // a column's name, or kUnread
    // MAKE and MODEL stay "" when the header lacks them; so do fields, which
    // then always fit. Every view has 8 readable bytes from its start.
    std::array<std::string_view, kColumnCount> columns_ = empty_columns();

    static std::array<std::string_view, kColumnCount> empty_columns() {
        std::array<std::string_view, kColumnCount> columns;
        columns.fill(std::string_view(kNoBytes, 0));
        return columns;
    }
};

/// Shows the over-length message of every value of `line` that does not
/// fit; true when there was any.
bool show_over_length(const LineReader& line, const MessageFn& show_message) {
    // One pass without branches for the usual line, where all fit.
    bool any = false;
    for (std::size_t i = 0; i < kDataBlock.size(); ++i) {
        any |= line.fields()[i].size() > static_cast<std::size_t>(kDataBlock[i].width);
    }
    if (!any) return false;
    for (std::size_t i = 0; i < kDataBlock.size(); ++i) {
        const DataField& field = kDataBlock[i];
        const std::string_view value = line.fields()[i];
        if (value.size() <= static_cast<std::size_t>(field.width)) continue;
        show_message(
            over_length_message(line.make(), line.model(), field.name, value, field.width));
    }
    return true;
}

}  // namespace

LinesResult convert_lines(SourceLines& lines, TargetBuffer& output, const MessageFn& show_message,
                          ChunkScanner scanner) {
    // The header line is the first line; a header shorter than a data line
    // may be means there is no data. The first short line ends the data.
    // Lines that would begin inside the end sentinel are all short, so the
    // sentinel never needs to be built.
    bool valid = true;
    std::string_view line;
    if (lines.next(line) && line.size() >= kShortestLine) {
        LineReader reader(line, scanner);
        if (!reader.knows_any_column()) {
            // Not a source file (a UTF-16 file's names hold zero bytes, say):
            // every record would be empty.
            output.abandon();
            return LinesResult::no_known_column;
        }
        while (lines.next(line) && line.size() >= kShortestLine) {
            if (valid && reader.append_usual(line, output)) continue;
            reader.read(line);
            if (show_over_length(reader, show_message) && valid) {
                // The target will never be written: stop building it.
                valid = false;
                output.abandon();
            }
            if (valid) reader.append(output);
        }
    }
    if (!valid) return LinesResult::values_too_long;
    output.append(kFileEnd);
    output.flush();
    return LinesResult::converted;
}

LinesResult convert_content(std::string_view content, std::string& output,
                            const MessageFn& show_message, std::size_t block_size,
                            ChunkScanner scanner) {
    MemorySource source(content, block_size);
    SourceLines lines(source, block_size);
    StringSink sink;
    TargetBuffer buffer(sink, block_size);
    const LinesResult result = convert_lines(lines, buffer, show_message, scanner);
    output = std::move(sink.bytes);
    return result;
}

std::string over_length_message(std::string_view make, std::string_view model,
                                std::string_view field, std::string_view value, int width) {
    std::string message;
    message.append("Model: ").append(trim_spaces(make)).append("  ").append(model);
    message.append("\r\n\r\n");
    message.append("Field: ").append(field).append("  Response Length: ");
    // A non-negative number is written with a space in its sign place.
    message.append(" ").append(std::to_string(value.size()));
    message.append("   Response: ").append(value);
    message.append("  is longer than: ").append(std::to_string(width));
    return message;
}

}  // namespace convert
