#include "records/row_records.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <span>
#include <utility>
#include <vector>

#include "records/column_table.h"
#include "records/record_format.h"
#include "text/ascii_text.h"
#include "text/code_page.h"
#include "text/utf8.h"

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

/// The field widths, in kDataBlock order.
constexpr std::array<std::size_t, kDataBlock.size()> widths() {
    std::array<std::size_t, kDataBlock.size()> widths{};
    for (std::size_t i = 0; i < kDataBlock.size(); ++i) {
        widths[i] = static_cast<std::size_t>(kDataBlock[i].width);
    }
    return widths;
}
constexpr std::array<std::size_t, kDataBlock.size()> kWidths = widths();

/// One row at a time into its record, by the columns of the header row.
class RowConverter {
public:
    RowConverter(std::span<const std::string_view> header, const CodePage& code_page)
        : table_(header, kRunColumns),
          layout_(present(table_)),
          slot_of_column_(table_.columns() + 64, kUnread),
          code_page_(code_page),
          high_bits_(code_page.number() == kUtf8CodePage ? 0 : kHighs) {
        for (std::size_t column = 0; column < table_.columns(); ++column) {
            if (const int name = table_.name_at(column); name >= 0) {
                slot_of_column_[column] = static_cast<std::uint8_t>(name);
            }
        }
    }

    bool knows_any_column() const { return table_.has_any(); }
    std::size_t columns() const { return table_.columns(); }

    /// Forgets where the last row's fields were.
    void clear_places() {
        starts_ = {};
        sizes_ = {};
    }
    /// Notes where field `column` of a row read plain stands.
    void place(std::size_t column, std::size_t offset, std::size_t size) {
        const std::size_t slot = slot_of_column_[column];
        starts_[slot] = static_cast<std::uint32_t>(offset);
        sizes_[slot] = static_cast<std::uint32_t>(size);
    }

    /// Appends the record of a usual row read plain (long enough, some value
    /// read, every value fitting, no data value holding a space) in one pass
    /// over the places noted. False, having written nothing, for any other
    /// row, which is then taken and checked value by value.
    bool append_usual(std::string_view row, TargetBuffer& output) const {
        if constexpr (std::endian::native != std::endian::little) return false;
        if (row.size() < kShortestRow || row.size() > UINT32_MAX) return false;
        // One 8-byte load per field, checked without branches: the usual row
        // takes none. A value holding a space anywhere (rare in these codes)
        // takes the careful way, which trims it.
        const char* const base = row.data();
        const std::string_view make = trim_spaces({base + starts_[kMake], sizes_[kMake]});
        const std::string_view model = trim_spaces({base + starts_[kModel], sizes_[kModel]});
        std::size_t any = make.size() | model.size();
        constexpr FieldBytes kOnes = 0x0101010101010101;
        // A byte above 0x7F may begin a character to write in the target's
        // code page: the careful way sees to it.
        FieldBytes unusual = beyond_ascii(make) || beyond_ascii(model) ? high_bits_ : 0;
        DataBlockBytes fields;
#pragma GCC unroll 16
        for (std::size_t i = 0; i < kDataBlock.size(); ++i) {
            const std::size_t size = sizes_[kFirstField + i];
            any |= size;
            FieldBytes bytes;
            std::memcpy(&bytes, base + starts_[kFirstField + i], sizeof bytes);
            const FieldBytes kept = kept_bytes(size);
            const FieldBytes value = bytes & kept;
            // A zero byte where the value has a space; none past its end,
            // where the value's bytes are zero.
            const FieldBytes spaces = value ^ kNoFieldBytes;
            unusual |= ((spaces - kOnes) & ~spaces & kHighs) | (value & high_bits_) |
                       FieldBytes{size > kWidths[i]};
            fields[i] = value | (kNoFieldBytes & ~kept);
        }
        // A row with no value read may be blank: the careful way tells.
        if (unusual != 0 || any == 0) return false;
        layout_.append(output, make, model, fields);
        return true;
    }

    /// Takes the values of a row read plain from the places noted.
    void take(std::string_view row) {
        for (std::size_t slot = 0; slot < kColumnCount; ++slot) {
            if (table_.has(slot)) {
                values_[slot] = trim_spaces(row.substr(starts_[slot], sizes_[slot]));
            }
        }
    }
    /// Takes the values of a row read carefully, from its fields.
    void take(std::span<const std::string_view> fields) {
        for (std::size_t column = 0; column < table_.columns(); ++column) {
            if (const int name = table_.name_at(column); name >= 0) {
                values_[static_cast<std::size_t>(name)] = column < fields.size()
                                                              ? trim_spaces(fields[column])
                                                              : std::string_view(kNoBytes, 0);
            }
        }
    }

    /// Brings the values taken from `row` into the target's code page, and
    /// shows the message of every value the target cannot take, MAKE and
    /// MODEL first, then the fields in order; true when there was any.
    bool check(const SourceRows::RowShape& row, RunReport& report);

    /// Appends the record of the row last checked.
    void append(TargetBuffer& output) const {
        DataBlockBytes bytes;
        for (std::size_t i = 0; i < kDataBlock.size(); ++i) {
            bytes[i] = field_bytes(written_[kFirstField + i]);
        }
        layout_.append(output, written_[kMake], written_[kModel], bytes);
    }

private:
    static DataBlockColumns present(const ColumnTable& table) {
        DataBlockColumns present{};
        for (std::size_t i = 0; i < kDataBlock.size(); ++i) present[i] = table.has(kFirstField + i);
        return present;
    }

    static constexpr std::uint8_t kUnread = kColumnCount;
    static constexpr FieldBytes kHighs = 0x8080808080808080;

    /// Sets written_ from values_, those beyond ASCII written anew when
    /// `beyond_ascii`; false for the values that cannot be written.
    std::array<bool, kColumnCount> write_in_code_page(bool beyond_ascii);

    ColumnTable table_;
    RecordLayout layout_;
    std::vector<std::uint8_t> slot_of_column_;  // a column's name, or kUnread
    // Where a row read plain has each name's field, by its offset and size;
    // the last slot takes the unread columns.
    std::array<std::uint32_t, kColumnCount + 1> starts_{};
    std::array<std::uint32_t, kColumnCount + 1> sizes_{};
    const CodePage& code_page_;
    FieldBytes high_bits_;  // the bits of bytes that may need the code page
    // The values of a row taken, as the source holds them and as the target
    // will. MAKE and MODEL stay "" when the header lacks them; so do fields,
    // which then always fit. Every view has 8 readable bytes from its start.
    std::array<std::string_view, kColumnCount> values_ = empty_columns();
    std::array<std::string_view, kColumnCount> written_ = empty_columns();
    std::string in_code_page_;  // the values written in the code page, each padded

    static std::array<std::string_view, kColumnCount> empty_columns() {
        std::array<std::string_view, kColumnCount> columns;
        columns.fill(std::string_view(kNoBytes, 0));
        return columns;
    }
};

bool holds_line_break(std::string_view value) {
    return std::any_of(value.begin(), value.end(), [](char c) { return c == '\r' || c == '\n'; });
}

std::array<bool, kColumnCount> RowConverter::write_in_code_page(bool any_beyond_ascii) {
    written_ = values_;
    std::array<bool, kColumnCount> writable;
    writable.fill(true);
    if (high_bits_ == 0 || !any_beyond_ascii) return writable;
    // Where each value written anew lies; the views are made once all are
    // in, as appending may move them.
    constexpr std::size_t kAsItStands = static_cast<std::size_t>(-1);
    std::array<std::pair<std::size_t, std::size_t>, kColumnCount> places;
    places.fill({kAsItStands, 0});
    in_code_page_.clear();
    for (std::size_t slot = 0; slot < kColumnCount; ++slot) {
        // Values beyond ASCII that are no UTF-8 are in the code page already.
        if (!beyond_ascii(values_[slot]) || !is_strict_utf8(values_[slot])) continue;
        const std::size_t at = in_code_page_.size();
        writable[slot] = code_page_.encode(values_[slot], in_code_page_);
        places[slot] = {at, in_code_page_.size() - at};
        in_code_page_.append(8, '\0');
    }
    for (std::size_t slot = 0; slot < kColumnCount; ++slot) {
        const auto [at, size] = places[slot];
        if (at != kAsItStands) written_[slot] = std::string_view(in_code_page_).substr(at, size);
    }
    return writable;
}

bool RowConverter::check(const SourceRows::RowShape& row, RunReport& report) {
    const std::array<bool, kColumnCount> writable = write_in_code_page(row.beyond_ascii);
    const std::string_view make = values_[kMake];
    const std::string_view model = values_[kModel];
    bool any = false;
    for (std::size_t slot = 0; slot < kColumnCount; ++slot) {
        const std::string_view name = kRunColumns[slot];
        const std::string_view value = values_[slot];
        if (row.line_breaks && holds_line_break(value)) {
            report.message(line_break_message(make, model, name, value));
        } else if (!writable[slot]) {
            report.message(code_page_message(make, model, name, value, code_page_.number()));
        } else if (slot >= kFirstField && written_[slot].size() > kWidths[slot - kFirstField]) {
            report.message(over_length_message(make, model, name, value, written_[slot].size(),
                                               kDataBlock[slot - kFirstField].width));
        } else {
            continue;
        }
        any = true;
    }
    return any;
}

}  // namespace

RowsOutcome convert_rows(SourceRows& rows, TargetBuffer& output, RunReport& report,
                         const CodePage& code_page) {
    using Read = SourceRows::Read;
    SourceRows::RowShape row{};
    // The header row; an empty source has none, and no data.
    switch (rows.read_careful(static_cast<std::size_t>(-1), row)) {
        case Read::unclosed_quote:
            output.abandon();
            return {RowsResult::unclosed_quote, rows.number()};
        case Read::end:
            output.append(kFileEnd);
            output.flush();
            return {RowsResult::converted};
        default:
            break;
    }
    RowConverter converter(rows.fields(), code_page);
    if (row.bytes.size() >= kShortestRow && !converter.knows_any_column()) {
        // Not a source file (a UTF-16 file's names hold zero bytes, say):
        // every record would be empty.
        output.abandon();
        return {RowsResult::no_known_column};
    }
    // A short row ends the data when no data row follows it; a short header
    // gives no data.
    std::size_t short_row = row.bytes.size() < kShortestRow ? rows.number() : 0;
    bool valid = true;
    for (;;) {
        converter.clear_places();
        Read read = rows.read_plain(
            converter.columns(),
            [&converter](std::size_t column, std::size_t offset, std::size_t size) {
                converter.place(column, offset, size);
            },
            row.bytes);
        if (read == Read::row) {
            if (valid && short_row == 0 && converter.append_usual(row.bytes, output)) continue;
            converter.take(row.bytes);
            row.blank = rows.blank(row.bytes);
            row.line_breaks = false;
            row.beyond_ascii = beyond_ascii(row.bytes);
        } else if (read == Read::careful) {
            read = rows.read_careful(converter.columns(), row);
            if (read == Read::row) converter.take(rows.fields());
        }
        if (read == Read::end) break;
        if (read == Read::unclosed_quote) {
            output.abandon();
            return {RowsResult::unclosed_quote, rows.number()};
        }
        if (row.blank) continue;
        if (row.bytes.size() < kShortestRow) {
            if (short_row == 0) short_row = rows.number();
            continue;
        }
        if (short_row != 0) {
            output.abandon();
            return {RowsResult::rows_after_short_row, short_row};
        }
        if (converter.check(row, report) && valid) {
            // The target will never be written: stop building it.
            valid = false;
            output.abandon();
        }
        if (valid) converter.append(output);
    }
    if (!valid) return {RowsResult::values_rejected};
    output.append(kFileEnd);
    output.flush();
    return {RowsResult::converted};
}

RowsOutcome convert_content(std::string_view content, std::string& output, RunReport& report,
                            const CodePage& code_page, std::size_t block_size,
                            ChunkScanner scanner) {
    MemorySource source(content, block_size);
    SourceRows rows(source, block_size, scanner);
    StringSink sink;
    TargetBuffer buffer(sink, block_size);
    const RowsOutcome outcome = convert_rows(rows, buffer, report, code_page);
    output = std::move(sink.bytes);
    return outcome;
}

namespace {
/// How every message about a value begins: the vehicle, then the field.
std::string value_message(std::string_view make, std::string_view model, std::string_view field) {
    std::string message;
    message.append("Model: ").append(trim_spaces(make)).append("  ").append(model);
    message.append("\r\n\r\n");
    message.append("Field: ").append(field);
    return message;
}
}  // namespace

std::string over_length_message(std::string_view make, std::string_view model,
                                std::string_view field, std::string_view value, std::size_t length,
                                int width) {
    // A non-negative number is written with a space in its sign place.
    return value_message(make, model, field)
        .append("  Response Length:  ")
        .append(std::to_string(length))
        .append("   Response: ")
        .append(value)
        .append("  is longer than: ")
        .append(std::to_string(width));
}

std::string line_break_message(std::string_view make, std::string_view model,
                               std::string_view field, std::string_view value) {
    return value_message(make, model, field)
        .append("  Response: ")
        .append(value)
        .append("  holds a line break.");
}

std::string code_page_message(std::string_view make, std::string_view model, std::string_view field,
                              std::string_view value, unsigned code_page) {
    return value_message(make, model, field)
        .append("  Response: ")
        .append(value)
        .append("  cannot be written in code page ")
        .append(std::to_string(code_page))
        .append(".");
}

}  // namespace convert
