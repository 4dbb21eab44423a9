// The columns a conversion reads, found once in the header row: which
// column holds each name, so that each data row is divided in a single pass.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

#include "records/source_rows.h"

namespace convert {

/// Where an empty value points: 8 readable bytes, as every value has.
inline constexpr char kNoBytes[8] = {};

/// Takes the header row's fields as they are read, keeping no view of them:
/// a first line of millions of fields costs no more than its bytes.
class ColumnTable : public FieldTaker {
public:
    static constexpr std::size_t kAbsent = static_cast<std::size_t>(-1);

    /// `names` are upper-case column names, which must outlive the table.
    explicit ColumnTable(std::span<const std::string_view> names);

    /// A name is in the first column that equals it ignoring case, the
    /// spaces around the column's name trimmed.
    void start_row() override;
    void take(std::size_t first_column, std::span<const std::string_view> fields) override;

    /// The column that holds names[i], or kAbsent.
    std::size_t column_of(std::size_t i) const { return column_of_name_[i]; }
    /// Whether the header has any of the names.
    bool has_any() const { return columns_ != 0; }
    /// The names the header lacks, in the order given.
    std::vector<std::string_view> missing() const;
    /// How many columns a row is read up to: the last named one.
    std::size_t columns() const { return columns_; }

private:
    std::span<const std::string_view> names_;
    std::vector<std::size_t> column_of_name_;  // kAbsent when the header lacks it
    std::size_t unmatched_ = 0;
    std::size_t columns_ = 0;  // up to the last wanted column
};

}  // namespace convert
