// The columns a conversion reads, looked up once in the header line, so that
// each data line is divided in a single pass.
//
// Fields are separated by commas, or by semicolons in a file whose header
// line holds no comma and at least one semicolon. A field that begins with a
// quote and has a closing quote on its line holds the bytes between the
// quotes, each "" standing for one quote, followed by whatever stands between
// the closing quote and the next separator. Any other field, one whose quote
// is never closed included, is taken as it stands.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "byte_scan.h"

namespace convert {

/// Where an empty value points: 8 readable bytes, as every value has.
inline constexpr char kNoBytes[8] = {};

class ColumnTable {
public:
    /// `header` is the header line without its line end, in any case;
    /// `names` are upper-case column names. `scanner` divides data lines.
    ColumnTable(std::string_view header, std::span<const std::string_view> names,
                ChunkScanner scanner = fastest_chunk_scanner());

    /// Whether the header has names[i].
    bool has(std::size_t i) const { return column_of_name_[i] != kAbsent; }
    /// Whether the header has any of the names.
    bool has_any() const { return columns_ != 0; }
    /// How many columns a line is read up to: the last named one.
    std::size_t columns() const { return columns_; }
    /// Which name column `column` (< columns() + 64) has; -1 for none.
    int name_at(std::size_t column) const { return name_of_column_[column]; }

    /// Calls visit(column, start, size) for each field of `line` (as for
    /// read) up to columns(), in order, with the field as it stands; columns
    /// after the line's end are not visited, and some columns past columns()
    /// may be. Returns false, having visited some fields or none, when the
    /// line holds a quote: it is then read().
    template <typename Visit>
    bool each_field(std::string_view line, Visit visit) const;

    /// Sets values[i] (one slot per name) for every name the header has, from
    /// `line`, a data line without its line end and followed by kLinePadding
    /// readable bytes (as SourceLines gives it): the value without surrounding
    /// spaces, or "" when the line ends before the column. Slots of names the
    /// header lacks are left alone. The views point into `line` or into the
    /// table, stay valid until the next call, and are followed by at least 8
    /// readable bytes.
    void read(std::string_view line, std::span<std::string_view> values);

private:
    static constexpr std::size_t kAbsent = static_cast<std::size_t>(-1);
    static constexpr int kUnwanted = -1;
    /// The field by field way, for a line that holds quotes.
    void read_quoted(std::string_view line, std::span<std::string_view> values);
    void set(std::size_t column, const char* start, std::size_t size,
             std::span<std::string_view> values) const;

    std::vector<std::size_t> column_of_name_;  // kAbsent when the header lacks it
    ChunkScanner scan_;
    char separator_ = ',';
    std::size_t columns_ = 0;          // up to the last wanted column
    std::vector<int> name_of_column_;  // kUnwanted for 64 columns more
    std::string unquoted_;             // the values of quoted fields
};

template <typename Visit>
bool ColumnTable::each_field(std::string_view line, Visit visit) const {
    // The separators of 64 bytes at a time, one field boundary per bit; the
    // line's own end closes its last field. A chunk's bits are all taken, so
    // columns up to 63 past the last named one, unnamed, may be visited.
    const char* const p = line.data();
    const std::size_t size = line.size();
    std::size_t column = 0;
    std::size_t start = 0;
    for (std::size_t chunk = 0; chunk < size && column < columns_; chunk += 64) {
        ChunkMasks masks = scan_(p + chunk, separator_);
        if (size - chunk < 64) {
            const std::uint64_t inside = (std::uint64_t{1} << (size - chunk)) - 1;
            masks.separators &= inside;
            masks.quotes &= inside;
        }
        if (masks.quotes != 0) return false;
        for (std::uint64_t bits = masks.separators; bits != 0; bits &= bits - 1) {
            const std::size_t at = chunk + static_cast<std::size_t>(std::countr_zero(bits));
            visit(column++, p + start, at - start);
            start = at + 1;
        }
    }
    if (column < columns_) visit(column, p + start, size - start);
    return true;
}

}  // namespace convert
