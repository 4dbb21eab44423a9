// A sheet's rows as its CSV export gives them, from whichever kind of
// workbook: row 1 the header whatever it holds, every row as long as its
// exported line, rows without a value passed over.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "sources/row_source.h"
#include "workbooks/sheet_row.h"

namespace convert {

/// Rows that stand alike in a sheet: `count` of them from row `first` (from
/// 1) on; none past the sheet's last row.
struct RowBlock {
    std::uint64_t first = 0;
    std::uint64_t count = 0;
};

/// Finds a sheet's rows in a workbook of one kind.
class SheetReader {
public:
    virtual ~SheetReader() = default;
    /// Fills `row`, cleared, with the sheet's next row that has a cell with
    /// text or a refusal, and answers where it stands, and how many times
    /// (a row repeated). Throws WorkbookError, or ReadError from the file.
    virtual RowBlock next(SheetRow& row) = 0;
};

class SheetRows final : public RowSource {
public:
    /// Throws RunStopped before a row once `stop` (if any) is set: a row
    /// repeated a million times reads nothing that would tell.
    SheetRows(std::unique_ptr<SheetReader> reader, const std::atomic<bool>* stop)
        : reader_(std::move(reader)), stop_(stop) {}

    Read read(FieldTaker& fields, RowShape& shape) override;
    std::size_t number() const override { return static_cast<std::size_t>(number_); }

private:
    Read read_header(FieldTaker& fields, RowShape& shape);
    /// Reads the rest of a sheet whose header is short (see read_header).
    void settle_short_header();
    /// The next block into row_, and its first row handed on next.
    bool next_block();
    void stop_if_asked() const {
        if (stop_ != nullptr && stop_->load(std::memory_order_relaxed)) throw RunStopped{};
    }

    std::unique_ptr<SheetReader> reader_;
    const std::atomic<bool>* stop_;
    SheetRow row_, rest_;  // the block being handed on; the rest of a sheet being settled
    RowBlock block_;
    std::uint64_t handed_ = 0;  // of the block's rows
    std::uint64_t number_ = 0;
    std::size_t columns_ = 0;  // of the widest row read
    bool header_read_ = false;
    bool header_given_ = false;  // row 1 was its block's first row
    bool waiting_ = false;       // a block read with the header waits in rest_
    // A short header's rows, settled: what the rows after it come to.
    bool settled_ = false;
    Read settled_read_ = Read::end;
    std::uint64_t settled_number_ = 0;
};

}  // namespace convert
