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
class RowConverter : public FieldTaker {
public:
    /// `table` must name every column read.
    RowConverter(const ColumnTable& table, const CodePage& code_page)
        : columns_(table.columns()),
          code_page_(code_page),
          high_bits_(code_page.number() == kUtf8CodePage ? 0 : kHighs) {
        // A header naming none of them may stand before rows that are all
        // blank or short.
        for (std::size_t slot = 0; slot < kColumnCount; ++slot) {
            if (const std::size_t column = table.column_of(slot); column != ColumnTable::kAbsent) {
                wanted_.push_back({column, static_cast<std::uint8_t>(slot)});
            }
        }
        std::sort(wanted_.begin(), wanted_.end(),
                  [](const Wanted& a, const Wanted& b) { return a.column < b.column; });
        wanted_.push_back({ColumnTable::kAbsent, kUnread});
        if (columns_ <= kMostPlainColumns) {
            slot_of_column_.assign(columns_ + 64, kUnread);
            for (const Wanted& w : wanted_) {
                if (w.slot != kUnread) slot_of_column_[w.column] = w.slot;
            }
        }
    }

    /// Whether rows are read plain where they can be: not where the columns
    /// read lie so far apart that a table of their places would be large.
    bool reads_plain() const { return !slot_of_column_.empty(); }
    std::size_t columns() const { return columns_; }

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
        append_record(output, make, model, fields);
        return true;
    }

    /// Takes the values of a row read plain from the places noted.
    void take(std::string_view row) {
        for (std::size_t slot = 0; slot < kColumnCount; ++slot) {
            values_[slot] = trim_spaces(row.substr(starts_[slot], sizes_[slot]));
        }
    }

    // A row read carefully: the values of the columns read, in column order;
    // those the row ends before stay empty (see end_row).
    void start_row() override { next_ = 0; }
    void take(std::size_t first_column, std::span<const std::string_view> fields) override {
        for (std::size_t column; (column = wanted_[next_].column - first_column) < fields.size();) {
            values_[wanted_[next_++].slot] = trim_spaces(fields[column]);
        }
    }
    /// The row read carefully has ended: its columns not reached are empty.
    void end_row() {
        for (std::size_t i = next_; wanted_[i].slot != kUnread; ++i) {
            values_[wanted_[i].slot] = std::string_view(kNoBytes, 0);
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
        append_record(output, written_[kMake], written_[kModel], bytes);
    }

private:
    static constexpr std::uint8_t kUnread = kColumnCount;
    static constexpr FieldBytes kHighs = 0x8080808080808080;
    /// The most columns a row is read plain up to.
    static constexpr std::size_t kMostPlainColumns = 4096;

    struct Wanted {
        std::size_t column;
        std::uint8_t slot;
    };

    /// Sets written_ from values_, those beyond ASCII written anew when
    /// `beyond_ascii`; false for the values that cannot be written.
    std::array<bool, kColumnCount> write_in_code_page(bool beyond_ascii);

    std::size_t columns_;
    std::vector<Wanted> wanted_;                // by column, then a sentinel
    std::size_t next_ = 0;                      // the next wanted of a row read carefully
    std::vector<std::uint8_t> slot_of_column_;  // a column's name, or kUnread; none when
                                                // rows are read carefully only
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
    const auto refuse = [&](RowsResult result, std::size_t row = 0) {
        output.abandon();
        return RowsOutcome{result, row};
    };
    SourceRows::RowShape row{};
    // The header row: its quotes, its names, then the rows after it.
    ColumnTable table(kRunColumns);
    switch (rows.read_careful(table, row)) {
        case Read::unclosed_quote:
            return refuse(RowsResult::unclosed_quote, rows.number());
        case Read::too_long:
            return refuse(RowsResult::row_too_long, rows.number());
        case Read::end:
            return refuse(RowsResult::no_rows);
        default:
            break;
    }
    if (row.bytes.size() >= kShortestRow && !table.has_any()) {
        // Not a source file (a UTF-16 file's names hold zero bytes, say).
        return refuse(RowsResult::no_known_column);
    }
    if (table.has_any()) {
        // A column missing would leave its values out of every record.
        if (std::vector<std::string_view> missing = table.missing(); !missing.empty()) {
            RowsOutcome outcome = refuse(RowsResult::missing_columns);
            outcome.missing = std::move(missing);
            return outcome;
        }
    }
    RowConverter converter(table, code_page);
    // A short row ends the data when no data row follows it; a short header
    // gives no data.
    std::size_t short_row = row.bytes.size() < kShortestRow ? rows.number() : 0;
    bool valid = true;
    std::size_t data_rows = 0;
    for (;;) {
        Read read = Read::careful;
        if (converter.reads_plain()) {
            converter.clear_places();
            read = rows.read_plain(
                converter.columns(),
                [&converter](std::size_t column, std::size_t offset, std::size_t size) {
                    converter.place(column, offset, size);
                },
                row.bytes);
        }
        if (read == Read::row) {
            if (valid && short_row == 0 && converter.append_usual(row.bytes, output)) {
                ++data_rows;
                continue;
            }
            converter.take(row.bytes);
            row.blank = rows.blank(row.bytes);
            row.line_breaks = false;
            row.beyond_ascii = beyond_ascii(row.bytes);
        } else if (read == Read::careful) {
            read = rows.read_careful(converter, row);
            converter.end_row();
        }
        if (read == Read::end) break;
        if (read == Read::unclosed_quote) return refuse(RowsResult::unclosed_quote, rows.number());
        if (read == Read::too_long) return refuse(RowsResult::row_too_long, rows.number());
        if (row.blank) continue;
        if (row.bytes.size() < kShortestRow) {
            if (short_row == 0) short_row = rows.number();
            continue;
        }
        if (short_row != 0) return refuse(RowsResult::rows_after_short_row, short_row);
        ++data_rows;
        if (converter.check(row, report) && valid) {
            // The target will never be written: stop building it.
            valid = false;
            output.abandon();
        }
        if (valid) converter.append(output);
    }
    if (!valid) return {RowsResult::values_rejected};
    if (data_rows == 0) return refuse(RowsResult::no_rows);
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
/// `value` as a message shows it: cut after kLongestShownValue bytes, less
/// a UTF-8 character the cut would split, then "...".
std::string shown(std::string_view value) {
    if (value.size() <= kLongestShownValue) return std::string(value);
    std::size_t cut = kLongestShownValue;
    if (is_strict_utf8(value)) {
        while ((static_cast<unsigned char>(value[cut]) & 0xC0) == 0x80) --cut;
    }
    return std::string(value.substr(0, cut)) + "...";
}

/// How every message about a value begins: the vehicle, then the field.
std::string value_message(std::string_view make, std::string_view model, std::string_view field) {
    std::string message;
    message.append("Model: ").append(shown(trim_spaces(make))).append("  ").append(shown(model));
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
        .append(shown(value))
        .append("  is longer than: ")
        .append(std::to_string(width));
}

std::string line_break_message(std::string_view make, std::string_view model,
                               std::string_view field, std::string_view value) {
    return value_message(make, model, field)
        .append("  Response: ")
        .append(shown(value))
        .append("  holds a line break.");
}

std::string code_page_message(std::string_view make, std::string_view model, std::string_view field,
                              std::string_view value, unsigned code_page) {
    return value_message(make, model, field)
        .append("  Response: ")
        .append(shown(value))
        .append("  cannot be written in code page ")
        .append(std::to_string(code_page))
        .append(".");
}

}  // namespace convert
