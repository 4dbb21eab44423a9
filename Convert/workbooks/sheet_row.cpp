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

std::string cell_name(std::size_t column, std::uint64_t row) {
    std::string letters;
    for (std::size_t n = column + 1; n > 0; n = (n - 1) / 26) {
        letters.insert(letters.begin(), static_cast<char>('A' + (n - 1) % 26));
    }
    return letters + std::to_string(row);
}

void SheetRow::clear() {
    text_.clear();
    cells_.clear();
    refusals_.clear();
    length_ = 0;
    end_ = 0;
    too_long_ = false;
}

void SheetRow::add(std::size_t column, std::string_view text, std::size_t repeated) {
    if (text.empty() || column >= kSheetColumns || too_long_) return;
    repeated = std::min(repeated, kSheetColumns - column);
    end_ = column + repeated;
    length_ += (text.size() + quoting_of(text)) * repeated;
    // A row longer than any may be keeps no more of its text.
    if (length_ > kLongestRow) {
        too_long_ = true;
        return;
    }
    cells_.push_back({column, text_.size(), text.size(), repeated});
    text_.append(text);
}

void SheetRow::refuse(std::size_t column, CellRefusal refusal) {
    if (column >= kSheetColumns) return;
    // No more of a format's code or an error's text than a message shows,
    // however many cells a workbook refuses.
    if (refusal.detail.size() > kLongestRefusal) {
        refusal.detail = shortened(refusal.detail, kLongestRefusal);
    }
    refusals_.emplace_back(column, std::move(refusal));
}

RowSource::Read SheetRow::hand_to(FieldTaker& fields, RowShape& shape, std::size_t columns) {
    fields.start_row();
    const std::size_t separators = std::max({end_, columns, std::size_t{1}}) - 1;
    shape.length = too_long_ ? kLongestRow + 1 : length_ + separators;
    if (shape.length > kLongestRow) return RowSource::Read::too_long;
    padded_.reserve(text_.size(), 0);
    if (!text_.empty()) std::memcpy(padded_.data(), text_.data(), text_.size());
    const PaddedView all = padded_.view(0, text_.size());
    shape.blank = refusals_.empty() && text_.find_first_not_of(' ') == std::string::npos;
    shape.line_breaks = text_.find_first_of("\r\n") != std::string::npos;
    shape.beyond_ascii = beyond_ascii(all);
    // Runs of adjacent cells in one call each.
    for (std::size_t i = 0; i < cells_.size();) {
        const std::size_t first = cells_[i].column;
        run_.clear();
        for (; i < cells_.size() && cells_[i].column == first + run_.size(); ++i) {
            const PaddedView text = padded_.view(cells_[i].offset, cells_[i].size);
            run_.insert(run_.end(), cells_[i].repeated, text);
        }
        fields.take(first, run_);
    }
    for (const auto& [column, refusal] : refusals_) fields.refuse(column, refusal);
    return RowSource::Read::row;
}

}  // namespace convert
