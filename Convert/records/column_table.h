// The columns a conversion reads, looked up once in the header row: which
// column holds each name, so that each data row is divided in a single pass.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

namespace convert {

/// Where an empty value points: 8 readable bytes, as every value has.
inline constexpr char kNoBytes[8] = {};

class ColumnTable {
public:
    /// `header` holds the header row's fields, quotes taken off, in any case;
    /// `names` are upper-case column names. A name is in the first column
    /// that equals it ignoring case (nothing trimmed).
    ColumnTable(std::span<const std::string_view> header, std::span<const std::string_view> names);

    /// Whether the header has names[i].
    bool has(std::size_t i) const { return column_of_name_[i] != kAbsent; }
    /// Whether the header has any of the names.
    bool has_any() const { return columns_ != 0; }
    /// How many columns a row is read up to: the last named one.
    std::size_t columns() const { return columns_; }
    /// Which name column `column` (< columns() + 64) has; -1 for none.
    int name_at(std::size_t column) const { return name_of_column_[column]; }

private:
    static constexpr std::size_t kAbsent = static_cast<std::size_t>(-1);
    static constexpr int kUnwanted = -1;

    std::vector<std::size_t> column_of_name_;  // kAbsent when the header lacks it
    std::size_t columns_ = 0;                  // up to the last wanted column
    std::vector<int> name_of_column_;          // kUnwanted for 64 columns more
};

}  // namespace convert
