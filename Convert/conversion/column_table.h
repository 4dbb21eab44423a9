// The columns a conversion reads, looked up once in the header line, so that
// each data line is divided in a single pass. Every value equals what
// G_GET_FIELD gives for the same name, header and line.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace convert {

class ColumnTable {
public:
    /// `header` is the header line without the appended comma, in any case;
    /// `names` are upper-case column names.
    ColumnTable(std::string_view header, std::span<const std::string_view> names);

    /// Fills values[i] (one slot per name) from `line`, a data line without
    /// the appended comma: std::nullopt when the header lacks names[i], ""
    /// when the line ends before the column, else the value without
    /// surrounding spaces. The views point into `line`.
    void read(std::string_view line, std::span<std::optional<std::string_view>> values) const;

private:
    static constexpr int kUnwanted = -1;
    std::vector<std::size_t> column_of_name_;  // kNoColumn when absent
    std::vector<int> name_of_column_;          // up to the last wanted column
};

}  // namespace convert
