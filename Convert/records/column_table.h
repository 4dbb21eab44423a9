// The columns a conversion reads, found once in the header row: which
// column holds each name, so that each data row is divided in a single pass.
#pragma once

#include <algorithm>
#include <cstddef>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "sources/row_source.h"
#include "text/ascii_text.h"

namespace convert {

/// Takes the header row's fields as they are read, keeping no view of them:
/// a first line of millions of fields costs no more than its bytes.
class ColumnTable : public FieldTaker {
public:
    static constexpr std::size_t kAbsent = static_cast<std::size_t>(-1);

    /// `names` are upper-case column names, which must outlive the table.
    explicit ColumnTable(std::span<const std::string_view> names) : names_(names) { start_row(); }

    void start_row() override {
        column_of_name_.assign(names_.size(), kAbsent);
        unmatched_ = names_.size();
        columns_ = 0;
        refusal_.reset();
    }
    /// A name is in the first column that equals it ignoring case, the
    /// spaces around the column's name trimmed.
    void take(std::size_t first_column, std::span<const PaddedView> fields) override {
        // The names are upper case, so comparing ignoring case is comparing
        // the upper-cased header field.
        for (std::size_t at = 0; at < fields.size() && unmatched_ > 0; ++at) {
            const std::string_view name = fields[at].trimmed();
            for (std::size_t i = 0; i < names_.size(); ++i) {
                // The first match wins, so two names never share a column.
                if (column_of_name_[i] != kAbsent || !equals_ignoring_case(name, names_[i])) {
                    continue;
                }
                column_of_name_[i] = first_column + at;
                columns_ = std::max(columns_, first_column + at + 1);
                --unmatched_;
                break;
            }
        }
    }
    /// Every cell of the header must be read as it shows.
    void refuse(std::size_t, const CellRefusal& refusal) override {
        if (!refusal_) refusal_ = refusal;
    }

    /// The column that holds names[i], or kAbsent.
    std::size_t column_of(std::size_t i) const { return column_of_name_[i]; }
    /// Whether the header has any of the names.
    bool has_any() const { return columns_ != 0; }
    /// The names the header lacks, in the order given.
    std::vector<std::string_view> missing() const {
        std::vector<std::string_view> missing;
        for (std::size_t i = 0; i < names_.size(); ++i) {
            if (column_of_name_[i] == kAbsent) missing.push_back(names_[i]);
        }
        return missing;
    }
    /// How many columns a row is read up to: the last named one.
    std::size_t columns() const { return columns_; }
    /// The first cell of the header the source refused to read, if any.
    const std::optional<CellRefusal>& refusal() const { return refusal_; }

private:
    std::span<const std::string_view> names_;
    std::vector<std::size_t> column_of_name_;  // kAbsent when the header lacks it
    std::size_t unmatched_ = 0;
    std::size_t columns_ = 0;  // up to the last wanted column
    std::optional<CellRefusal> refusal_;
};

}  // namespace convert
