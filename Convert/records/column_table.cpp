#include "records/column_table.h"

#include <algorithm>

#include "text/ascii_text.h"

namespace convert {

ColumnTable::ColumnTable(std::span<const std::string_view> names) : names_(names) {
    start_row();
}

void ColumnTable::start_row() {
    column_of_name_.assign(names_.size(), kAbsent);
    unmatched_ = names_.size();
    columns_ = 0;
}

void ColumnTable::take(std::size_t first_column, std::span<const std::string_view> fields) {
    // The names are upper case, so comparing ignoring case is comparing the
    // upper-cased header field.
    for (std::size_t at = 0; at < fields.size() && unmatched_ > 0; ++at) {
        const std::string_view name = trim_spaces(fields[at]);
        for (std::size_t i = 0; i < names_.size(); ++i) {
            // The first match wins, so two names never share a column.
            if (column_of_name_[i] != kAbsent || !equals_ignoring_case(name, names_[i])) continue;
            column_of_name_[i] = first_column + at;
            columns_ = std::max(columns_, first_column + at + 1);
            --unmatched_;
            break;
        }
    }
}

std::vector<std::string_view> ColumnTable::missing() const {
    std::vector<std::string_view> missing;
    for (std::size_t i = 0; i < names_.size(); ++i) {
        if (column_of_name_[i] == kAbsent) missing.push_back(names_[i]);
    }
    return missing;
}

}  // namespace convert
