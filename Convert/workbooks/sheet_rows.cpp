#include "workbooks/sheet_rows.h"

#include <algorithm>
#include <array>
#include <utility>

namespace convert {

bool SheetRows::next_block() {
    block_ = reader_->next(row_);
    handed_ = 0;
    columns_ = std::max(columns_, row_.width());
    return block_.count != 0;
}

RowSource::Read SheetRows::read(FieldTaker& fields, RowShape& shape) {
    stop_if_asked();
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
    if (waiting_) {
        std::swap(row_, rest_);
        waiting_ = false;
    } else if (handed_ == block_.count && !next_block()) {
        return Read::end;
    }
    number_ = block_.first + handed_++;
    return row_.hand_to(fields, shape, columns_, number_);
}

RowSource::Read SheetRows::read_header(FieldTaker& fields, RowShape& shape) {
    header_read_ = true;
    number_ = 1;
    // Row 1 is the first of its block, or stands empty before it, the block
    // waiting.
    const bool any = next_block();
    header_given_ = any && block_.first == 1;
    if (header_given_) {
        handed_ = 1;
    } else {
        std::swap(row_, rest_);
        row_.clear();
        waiting_ = any;
    }
    if (row_.length(columns_) < kShortestRow) settle_short_header();
    return row_.hand_to(fields, shape, columns_, 1);
}

void SheetRows::settle_short_header() {
    // The export writes the header with as many separators as the widest
    // row has, and how long the rows after it are decides whether they are
    // data after a short row. Neither is known before the sheet's end; a
    // short header ends the conversion either way, so the sheet is read
    // through once, keeping for each length up to kShortestRow the first
    // row whose values are that long. Rows alike count once.
    std::array<std::uint64_t, kShortestRow + 1> first_as_long{};
    std::uint64_t first_too_long = 0;
    const auto weigh = [&](const SheetRow& row, std::uint64_t number) {
        if (row.values_length() > kLongestRow) {
            if (first_too_long == 0) first_too_long = number;
        } else if (!row.blank()) {
            const std::size_t length = std::min(row.values_length(), kShortestRow);
            for (std::size_t at = length + 1; at-- > 0 && first_as_long[at] == 0;) {
                first_as_long[at] = number;
            }
        }
    };
    // The header's own block may go on past it; a block read ahead waits in rest_.
    if (header_given_ && block_.count > 1) weigh(row_, 2);
    if (waiting_) weigh(rest_, block_.first);
    for (;;) {
        stop_if_asked();
        const RowBlock block = reader_->next(rest_);
        if (block.count == 0) break;
        columns_ = std::max(columns_, rest_.width());
        weigh(rest_, block.first);
    }
    settled_ = true;
    const std::size_t separators = std::max(columns_, std::size_t{1}) - 1;
    // A header as long as a row ends the conversion at itself.
    if (row_.length(columns_) >= kShortestRow) return;
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
