#include "workbooks/sheet_row.h"

#include <algorithm>
#include <cstring>

#include "text/utf8.h"

namespace convert {

namespace {

/// How much longer an export writes `text` than it is: a value holding a
/// separator, a quote or a line break is quoted, its quotes doubled.
std::size_t quoting_of(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) return 0;
    return 2 + static_cast<std::size_t>(std::count(text.begin(), text.end(), '"'));
}

}  // namespace

void SheetRow::clear() {
    text_.clear();
    cells_.clear();
    refusals_.clear();
    length_ = 0;
    end_ = 0;
    too_long_ = false;
    prepared_ = false;
}

void SheetRow::add(std::size_t column, std::string_view text, std::size_t repeated) {
    if (text.empty() || column >= kSheetColumns) return;
    repeated = std::min(repeated, kSheetColumns - column);
    end_ = column + repeated;
    prepared_ = false;
    if (too_long_) return;
    length_ += (text.size() + quoting_of(text)) * repeated;
    // A row longer than any may be keeps no more of its text.
    if (length_ > kLongestRow) {
        too_long_ = true;
        return;
    }
    cells_.push_back({column, text_.size(), text.size(), repeated});
    text_.append(text);
}

void SheetRow::refuse(std::size_t column, CellRefusal::Kind kind, std::string detail,
                      std::size_t repeated) {
    if (column >= kSheetColumns) return;
    // No more of a format's code or an error's text than a message shows,
    // however many cells a workbook refuses.
    if (detail.size() > kLongestRefusal) detail = shortened(detail, kLongestRefusal);
    refusals_.push_back(
        {column, std::min(repeated, kSheetColumns - column), kind, std::move(detail)});
    prepared_ = false;
}

bool SheetRow::blank() const {
    return refusals_.empty() && text_.find_first_not_of(' ') == std::string::npos;
}

std::size_t SheetRow::length(std::size_t columns) const {
    return values_length() + std::max({end_, columns, std::size_t{1}}) - 1;
}

RowSource::Read SheetRow::hand_to(FieldTaker& fields, RowShape& shape, std::size_t columns,
                                  std::uint64_t number) {
    fields.start_row();
    shape.length = length(columns);
    if (shape.length > kLongestRow) return RowSource::Read::too_long;
    // A row repeated is prepared once for all its copies.
    if (!prepared_) {
        padded_.reserve(text_.size(), 0);
        if (!text_.empty()) std::memcpy(padded_.data(), text_.data(), text_.size());
        prepared_shape_.blank = blank();
        prepared_shape_.line_breaks = text_.find_first_of("\r\n") != std::string::npos;
        prepared_shape_.beyond_ascii = beyond_ascii(padded_.view(0, text_.size()));
        prepared_ = true;
    }
    shape.blank = prepared_shape_.blank;
    shape.line_breaks = prepared_shape_.line_breaks;
    shape.beyond_ascii = prepared_shape_.beyond_ascii;
    // Runs of adjacent cells in one call each; none past what `fields` takes,
    // however many a cell repeats.
    const std::size_t taken = fields.columns_taken();
    for (std::size_t i = 0; i < cells_.size() && cells_[i].column < taken;) {
        const std::size_t first = cells_[i].column;
        run_.clear();
        for (; i < cells_.size() && cells_[i].column == first + run_.size() &&
               cells_[i].column < taken;
             ++i) {
            const PaddedView text = padded_.view(cells_[i].offset, cells_[i].size);
            run_.insert(run_.end(), std::min(cells_[i].repeated, taken - cells_[i].column), text);
        }
        fields.take(first, run_);
    }
    for (const Refused& refused : refusals_) {
        const std::size_t end = std::min(refused.column + refused.repeated, taken);
        for (std::size_t column = refused.column; column < end; ++column) {
            fields.refuse(column, {refused.kind, cell_name(column, number), refused.detail});
        }
    }
    return RowSource::Read::row;
}

}  // namespace convert
