#include "column_table.h"

#include <algorithm>

#include "text.h"

namespace convert {

ColumnTable::ColumnTable(std::string_view header, std::span<const std::string_view> names)
    : column_of_name_(names.size(), kAbsent) {
    // One pass over the header, without copying it: a source without any CR
    // is all header. The names are upper case, so comparing ignoring case is
    // comparing the upper-cased header field.
    std::size_t unmatched = names.size();
    const char* p = header.data();
    const char* const end = p + header.size();
    for (std::size_t column = 0; unmatched > 0; ++column) {
        const char* const start = p;
        while (p != end && *p != ',') ++p;
        const std::string_view field(start, static_cast<std::size_t>(p - start));
        for (std::size_t i = 0; i < names.size(); ++i) {
            // The first match wins, so two names never share a column.
            if (column_of_name_[i] != kAbsent || !equals_ignoring_case(field, names[i])) continue;
            column_of_name_[i] = column;
            name_of_column_.resize(std::max(name_of_column_.size(), column + 1), kUnwanted);
            name_of_column_[column] = static_cast<int>(i);
            --unmatched;
            break;
        }
        if (p == end) break;
        ++p;
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
