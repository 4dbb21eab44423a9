// One row of a workbook's sheet, as its cells are read, handed on as the
// sheet's CSV export would give it: each cell's text in its column, cells
// without text empty, and the row as long as its exported line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sources/padded_bytes.h"
#include "sources/row_source.h"
#include "workbooks/cell_reference.h"

namespace convert {

class SheetRow {
public:
    /// Forgets the cells added: a new row.
    void clear();
    /// Cell `column` (from 0; each add to the right of the last) shows
    /// `text`, in UTF-8; `repeated` cells alike stand from it rightwards.
    void add(std::size_t column, std::string_view text, std::size_t repeated = 1);
    /// Cell `column`, and `repeated` cells alike from it rightwards, hold a
    /// value Convert refuses to read as the sheet shows it; a refusal's
    /// detail is kept up to kLongestRefusal bytes, then "...".
    void refuse(std::size_t column, CellRefusal::Kind kind, std::string detail,
                std::size_t repeated = 1);
    static constexpr std::size_t kLongestRefusal = 200;
    /// Whether no cell has any text, or a refusal.
    bool empty() const { return end_ == 0 && refusals_.empty(); }
    /// Whether no cell has a refusal, or text but spaces: a row passed over.
    bool blank() const;
    /// One past the last column with text.
    std::size_t width() const { return end_; }
    /// The length of its values as its exported line writes them, quotes
    /// included; past kLongestRow when it is too long.
    std::size_t values_length() const { return too_long_ ? kLongestRow + 1 : length_; }
    /// The length of its exported line with at least `columns` fields (a
    /// sheet's export gives every row the columns of its widest).
    std::size_t length(std::size_t columns) const;

    /// Hands the row's cells that `fields` takes (its refusals named as
    /// cells of row `number`) to `fields`, and its shape to `shape`, its
    /// length(columns). Answers `too_long` for a row longer than
    /// kLongestRow, else `row`.
    RowSource::Read hand_to(FieldTaker& fields, RowShape& shape, std::size_t columns,
                            std::uint64_t number);

private:
    struct Cell {
        std::size_t column;
        std::size_t offset;  // in text_
        std::size_t size;
        std::size_t repeated;
    };

    std::string text_;         // the cells' texts, one after another
    std::vector<Cell> cells_;  // those with text, left to right
    struct Refused {
        std::size_t column, repeated;
        CellRefusal::Kind kind;
        std::string detail;
    };

    std::vector<Refused> refusals_;
    std::size_t length_ = 0;  // of the exported line's values, quotes included
    std::size_t end_ = 0;     // one past the last column with text
    bool too_long_ = false;
    bool prepared_ = false;    // padded_ and prepared_shape_ hold the row as it is
    RowShape prepared_shape_;  // its flags
    PaddedBuffer padded_;
    std::vector<PaddedView> run_;  // consecutive cells, handed on at once
};

}  // namespace convert
