#include "column_table.h"

#include <cstring>
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
        column_of_name_.push_back(column);
        if (column == kNoColumn) continue;
        if (column >= name_of_column_.size()) name_of_column_.resize(column + 1, kUnwanted);
        // The first match wins, so two names never share a column.
        name_of_column_[column] = static_cast<int>(i);
    }
}

void ColumnTable::read(std::string_view line,
                       std::span<std::optional<std::string_view>> values) const {
    for (std::size_t i = 0; i < column_of_name_.size(); ++i) {
        if (column_of_name_[i] == kNoColumn) {
            values[i] = std::nullopt;
        } else {
            values[i] = std::string_view{};
        }
    }
    // The line's own end stands for the comma that callers append.
    const char* const end = line.data() + line.size();
    const char* start = line.data();
    for (std::size_t column = 0; column < name_of_column_.size(); ++column) {
        const char* comma = end;
        if (start != end) {
            const void* found = std::memchr(start, ',', static_cast<std::size_t>(end - start));
            if (found != nullptr) comma = static_cast<const char*>(found);
        }
        if (const int name = name_of_column_[column]; name != kUnwanted) {
            values[static_cast<std::size_t>(name)] =
                trim_spaces(std::string_view(start, static_cast<std::size_t>(comma - start)));
        }
        if (comma == end) break;
        start = comma + 1;
    }
}

}  // namespace convert
