// The first sheet of an OpenDocument spreadsheet (.ods), row by row, as its
// comma-separated export with a decimal point gives it: each cell as the
// sheet shows it, and the cells Convert cannot show that way refused.
#pragma once

#include <cstddef>
#include <memory>

#include "containers/random_access.h"
#include "sources/row_source.h"

namespace convert {

/// The rows of the first sheet of an OpenDocument spreadsheet (.ods), as its CSV export gives them.
class OdsRows : public RowSource {
public:
    /// Reads the parts it needs; `file` must outlive it. Throws WorkbookError.
    explicit OdsRows(RandomAccessSource& file);
    ~OdsRows() override;
    OdsRows(const OdsRows&) = delete;
    OdsRows& operator=(const OdsRows&) = delete;

    /// Row 1 is the header. Empty rows after it are passed over. Throws
    /// WorkbookError, or ReadError from the file.
    Read read(FieldTaker& fields, RowShape& shape) override;
    /// The sheet's row number of the row last read.
    std::size_t number() const override;

private:
    class Sheet;
    std::unique_ptr<Sheet> sheet_;
};

}  // namespace convert
