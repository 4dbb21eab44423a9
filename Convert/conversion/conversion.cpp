#include "conversion.h"

#include <array>
#include <span>
#include <utility>

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

class LineReader {
public:
    explicit LineReader(std::string_view header) : table_(header, kRunColumns) {
        for (std::size_t i = 0; i < kDataBlock.size(); ++i)
            present_[i] = table_.has(kFirstField + i);
    }

    bool knows_any_column() const { return table_.has_any(); }

    void read(std::string_view line) { table_.read(line, columns_); }

    std::string_view make() const { return columns_[kMake]; }
    std::string_view model() const { return columns_[kModel]; }
    DataBlockValues fields() const {
        return std::span<const std::string_view, kColumnCount>(columns_)
            .subspan<kFirstField, kDataBlock.size()>();
    }
    const DataBlockColumns& present() const { return present_; }

private:
    ColumnTable table_;
    // MAKE and MODEL stay "" when the header lacks them; so do fields, which
    // are then never read.
    std::array<std::string_view, kColumnCount> columns_{};
    DataBlockColumns present_{};
};

/// Shows the over-length message of every value of `line` that does not
/// fit; true when there was any.
bool show_over_length(const LineReader& line, const MessageFn& show_message) {
    bool any = false;
    for (std::size_t i = 0; i < kDataBlock.size(); ++i) {
        const DataField& field = kDataBlock[i];
        const std::string_view value = line.fields()[i];
        if (!line.present()[i] || value.size() <= static_cast<std::size_t>(field.width)) continue;
        any = true;
        show_message(
            over_length_message(line.make(), line.model(), field.name, value, field.width));
    }
    return any;
}

}  // namespace

LinesResult convert_lines(SourceLines& lines, TargetBuffer& output, const MessageFn& show_message) {
    // The header line is the first line; a header shorter than a data line
    // may be means there is no data. The first short line ends the data.
    // Lines that would begin inside the end sentinel are all short, so the
    // sentinel never needs to be built.
    bool valid = true;
    std::string_view line;
    if (lines.next(line) && line.size() >= kShortestLine) {
        LineReader reader(line);
        if (!reader.knows_any_column()) {
            // Not a source file (a UTF-16 file's names hold zero bytes, say):
            // every record would be empty.
            output.abandon();
            return LinesResult::no_known_column;
        }
        while (lines.next(line) && line.size() >= kShortestLine) {
            reader.read(line);
            if (show_over_length(reader, show_message) && valid) {
                // The target will never be written: stop building it.
                valid = false;
                output.abandon();
            }
            if (valid) {
                append_record(output, reader.make(), reader.model(), reader.fields(),
                              reader.present());
            }
        }
    }
    if (!valid) return LinesResult::values_too_long;
    output.append(kFileEnd);
    output.flush();
    return LinesResult::converted;
}

LinesResult convert_content(std::string_view content, std::string& output,
                            const MessageFn& show_message, std::size_t block_size) {
    MemorySource source(content, block_size);
    SourceLines lines(source, block_size);
    StringSink sink;
    TargetBuffer buffer(sink, block_size);
    const LinesResult result = convert_lines(lines, buffer, show_message);
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
