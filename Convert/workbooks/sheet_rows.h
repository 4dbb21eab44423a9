// A sheet's rows as its CSV export gives them, from whichever kind of
// workbook: row 1 the header whatever it holds, every row as long as its
// exported line, rows without a value passed over.
#pragma once

#include <cstdint>
#include <memory>

#include "sources/row_source.h"
#include "workbooks/sheet_row.h"

namespace convert {

/// Finds a sheet's rows in a workbook of one kind.
class SheetReader {
public:
    virtual ~SheetReader() = default;
    /// Fills `row`, cleared, with the sheet's next row that has a cell with
    /// text or a refusal, and answers its number (from 1); 0 past the last.
    /// Throws WorkbookError, or ReadError from the file.
    virtual std::uint64_t next(SheetRow& row) = 0;
};

class SheetRows final : public RowSource {
public:
    explicit SheetRows(std::unique_ptr<SheetReader> reader) : reader_(std::move(reader)) {}

    Read read(FieldTaker& fields, RowShape& shape) override;
    std::size_t number() const override { return static_cast<std::size_t>(number_); }

private:
    Read read_header(FieldTaker& fields, RowShape& shape);
    /// Reads the rest of a sheet whose header is short (see read_header).
    void settle_short_header();

    std::unique_ptr<SheetReader> reader_;
    SheetRow header_, row_;
    std::uint64_t number_ = 0;
    std::uint64_t pending_ = 0;  // the number of a row read ahead into row_
    std::size_t columns_ = 0;    // of the widest row read
    bool header_read_ = false;
    // A short header's rows, settled: what the rows after it come to.
    bool settled_ = false;
    Read settled_read_ = Read::end;
    std::uint64_t settled_number_ = 0;
};

}  // namespace convert
