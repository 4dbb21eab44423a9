#include "column_table.h"

#include <string>

#include "field_procedures.h"
#include "text.h"

namespace convert {

ColumnTable::ColumnTable(std::string_view header, std::span<const std::string_view> names) {
    std::string upper_header = upper(header);
    upper_header.push_back(',');
    column_of_name_.reserve(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::size_t column = column_index(upper_header, names[i]);
        column_of_name_.push_back(column == kNoColumn ? kAbsent : column);
        if (column == kNoColumn) continue;
        if (column >= name_of_column_.size()) name_of_column_.resize(column + 1, kUnwanted);
        // The first match wins, so two names never share a column.
        name_of_column_[column] = static_cast<int>(i);
    }
}

void ColumnTable::read(std::string_view line, std::span<std::string_view> values) const {
    // One pass up to the last wanted column; the line's own end stands for
    // the comma that callers append.
    const char* p = line.data();
    const char* const end = p + line.size();
    const std::size_t columns = name_of_column_.size();
    std::size_t column = 0;
    while (column < columns) {
        const char* const start = p;
        while (p != end && *p != ',') ++p;
        if (const int name = name_of_column_[column]; name != kUnwanted) {
            values[static_cast<std::size_t>(name)] =
                trim_spaces(std::string_view(start, static_cast<std::size_t>(p - start)));
        }
        ++column;
        if (p == end) break;
        ++p;
    }
    // The line ended before these columns.
    for (; column < columns; ++column) {
        if (const int name = name_of_column_[column]; name != kUnwanted) {
            values[static_cast<std::size_t>(name)] = {};
        }
    }
}

}  // namespace convert
