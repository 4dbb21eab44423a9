#include "records/column_table.h"

#include <algorithm>

#include "text/ascii_text.h"

namespace convert {

ColumnTable::ColumnTable(std::span<const std::string_view> header,
                         std::span<const std::string_view> names)
    : column_of_name_(names.size(), kAbsent), name_of_column_(64, kUnwanted) {
    // The names are upper case, so comparing ignoring case is comparing the
    // upper-cased header field.
    std::size_t unmatched = names.size();
    for (std::size_t column = 0; column < header.size() && unmatched > 0; ++column) {
        for (std::size_t i = 0; i < names.size(); ++i) {
            // The first match wins, so two names never share a column.
            if (column_of_name_[i] != kAbsent || !equals_ignoring_case(header[column], names[i])) {
                continue;
            }
            column_of_name_[i] = column;
            columns_ = std::max(columns_, column + 1);
            name_of_column_.resize(columns_ + 64, kUnwanted);
            name_of_column_[column] = static_cast<int>(i);
            --unmatched;
            break;
        }
    }
}

}  // namespace convert
