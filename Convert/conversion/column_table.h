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

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace convert {

class ColumnTable {
public:
    /// `header` is the header line without its line end, in any case;
    /// `names` are upper-case column names.
    ColumnTable(std::string_view header, std::span<const std::string_view> names);

    /// Whether the header has names[i].
    bool has(std::size_t i) const { return column_of_name_[i] != kAbsent; }
    /// Whether the header has any of the names.
    bool has_any() const { return !name_of_column_.empty(); }
    char separator() const { return separator_; }

    /// Sets values[i] (one slot per name) for every name the header has, from
    /// `line`, a data line without its line end: the value without
    /// surrounding spaces, or "" when the line ends before the column. Slots
    /// of names the header lacks are left alone. The views point into `line`
    /// or into the table, and stay valid until the next call.
    void read(std::string_view line, std::span<std::string_view> values);

private:
    static constexpr std::size_t kAbsent = static_cast<std::size_t>(-1);
    static constexpr int kUnwanted = -1;

    char separator_ = ',';
    std::vector<std::size_t> column_of_name_;  // kAbsent when the header lacks it
    std::vector<int> name_of_column_;          // up to the last wanted column
    std::string unquoted_;                     // the values of quoted fields
};

}  // namespace convert
