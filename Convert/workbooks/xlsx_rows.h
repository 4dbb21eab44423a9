// The rows of the first worksheet of an Office Open XML workbook (.xlsx), as
// its comma-separated export with a decimal point gives them: each cell as
// the sheet shows it, the cells whose showing Convert does not read refused.
#pragma once

#include <cstddef>
#include <memory>

#include "containers/random_access.h"
#include "sources/row_source.h"

namespace convert {

/// The rows of the first worksheet of an Office Open XML workbook (.xlsx), as
/// its CSV export gives them.
class XlsxRows : public RowSource {
public:
    /// Reads the workbook's parts it needs; `file` must outlive it. Throws
    /// WorkbookError, or ReadError from `file`.
    explicit XlsxRows(RandomAccessSource& file);
    ~XlsxRows() override;
    XlsxRows(const XlsxRows&) = delete;
    XlsxRows& operator=(const XlsxRows&) = delete;

    /// Row 1 is the header, empty when the sheet has none; rows the sheet
    /// leaves out, and rows without a value, are passed over. Throws
    /// WorkbookError, or ReadError from the file.
    Read read(FieldTaker& fields, RowShape& shape) override;
    /// The sheet's number of the row last read.
    std::size_t number() const override;

private:
    class Sheet;
    std::unique_ptr<Sheet> sheet_;
};

}  // namespace convert
