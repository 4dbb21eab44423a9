#include "workbooks/sheet_rows.h"

#include <algorithm>
#include <array>
#include <utility>

namespace convert {

RowSource::Read SheetRows::read(FieldTaker& fields, RowShape& shape) {
    if (!header_read_) return read_header(fields, shape);
    if (settled_) {
        // Once only: the row the conversion ends at, or the end.
        number_ = settled_number_;
        const Read read = std::exchange(settled_read_, Read::end);
        if (read == Read::row) {
            fields.start_row();
            shape = {.length = kShortestRow};
        }
        return read;
    }
    if (pending_ == 0) pending_ = reader_->next(row_);
    if (pending_ == 0) return Read::end;
    number_ = std::exchange(pending_, 0);
    columns_ = std::max(columns_, row_.width());
    return row_.hand_to(fields, shape, columns_, number_);
}

RowSource::Read SheetRows::read_header(FieldTaker& fields, RowShape& shape) {
    header_read_ = true;
    number_ = 1;
    pending_ = reader_->next(row_);
    if (pending_ == 1) {
        std::swap(header_, row_);
        pending_ = 0;
    }
    columns_ = header_.width();
    if (header_.length(columns_) < kShortestRow) settle_short_header();
    return header_.hand_to(fields, shape, columns_, 1);
}

void SheetRows::settle_short_header() {
    // The export writes the header with as many separators as the widest
    // row has, and how long the rows after it are decides whether they are
    // data after a short row. Neither is known before the sheet's end; a
    // short header ends the conversion either way, so the sheet is read
    // through once, keeping for each length up to kShortestRow the first
    // row whose values are that long.
    std::array<std::uint64_t, kShortestRow + 1> first_as_long{};
    std::uint64_t first_too_long = 0;
    for (;;) {
        if (pending_ == 0) pending_ = reader_->next(row_);
        if (pending_ == 0) break;
        const std::uint64_t number = std::exchange(pending_, 0);
        columns_ = std::max(columns_, row_.width());
        if (row_.values_length() > kLongestRow) {
            if (first_too_long == 0) first_too_long = number;
        } else if (!row_.blank()) {
            const std::size_t length = std::min(row_.values_length(), kShortestRow);
            for (std::size_t at = length + 1; at-- > 0 && first_as_long[at] == 0;) {
                first_as_long[at] = number;
            }
        }
    }
    settled_ = true;
    const std::size_t separators = std::max(columns_, std::size_t{1}) - 1;
    // A header as long as a row ends the conversion at itself.
    if (header_.length(columns_) >= kShortestRow) return;
    const std::uint64_t long_row = first_as_long[kShortestRow - separators];
    if (first_too_long != 0 && (long_row == 0 || first_too_long < long_row)) {
        settled_read_ = Read::too_long;
        settled_number_ = first_too_long;
    } else if (long_row != 0) {
        settled_read_ = Read::row;
        settled_number_ = long_row;
    }
}

}  // namespace convert
