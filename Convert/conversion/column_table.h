// The columns a conversion reads, looked up once in the header line, so that
// each data line is divided in a single pass. Every value equals what
// G_GET_FIELD gives for the same name, header and line.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

namespace convert {

class ColumnTable {
public:
    /// `header` is the header line without the appended comma, in any case;
    /// `names` are upper-case column names.
    ColumnTable(std::string_view header, std::span<const std::string_view> names);

    /// Whether the header has names[i].
    bool has(std::size_t i) const { return column_of_name_[i] != kAbsent; }

    /// Sets values[i] (one slot per name) for every name the header has, from
    /// `line`, a data line without the appended comma: the value without
    /// surrounding spaces, or "" when the line ends before the column. Slots
    /// of names the header lacks are left alone. The views point into `line`.
    void read(std::string_view line, std::span<std::string_view> values) const;

private:
    static constexpr std::size_t kAbsent = static_cast<std::size_t>(-1);
    static constexpr int kUnwanted = -1;
    std::vector<std::size_t> column_of_name_;  // kAbsent when the header lacks it
    std::vector<int> name_of_column_;          // up to the last wanted column
};

}  // namespace convert
