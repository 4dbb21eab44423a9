// The rows of a workbook's first sheet, as its comma-separated export with a
// decimal point gives them: each cell as the sheet shows it, and the cells
// whose showing Convert does not read refused by cell. Row 1 is the header,
// empty when the sheet has none; rows the sheet leaves out, and rows without
// a value, are passed over; number() is the sheet's own row number.
#pragma once

#include <atomic>
#include <memory>
#include <stdexcept>
#include <string>

#include "sources/byte_source.h"
#include "sources/row_source.h"

namespace convert {

/// Why a workbook cannot be read at all: it is not a workbook of its kind
/// (or a damaged one), or a password is needed to open it.
struct WorkbookError : std::runtime_error {
    enum class Kind {
        unreadable,        // what() says why, in Convert's words or its library's
        encrypted,         // a password is needed to open it
        default_password,  // encrypted with the password Excel opens it with, asking for none
    };
    WorkbookError(Kind kind, const std::string& reason) : std::runtime_error(reason), kind(kind) {}
    Kind kind;
};

/// Throws WorkbookError: the workbook cannot be read, for `reason`.
[[noreturn]] inline void unreadable(const std::string& reason) {
    throw WorkbookError(WorkbookError::Kind::unreadable, reason);
}

/// How a sheet's rows are read: the usual ones from its bytes and the rest
/// by the XML parser, or all by the parser (which gives the same).
enum class SheetReading { usual_rows_first, parser_only };

/// The rows of an Office Open XML workbook (.xlsx). `file` must outlive
/// them; once `stop` is set, reading them throws RunStopped. Throws WorkbookError (a damaged zip or
/// XML among its reasons), or ReadError from `file`, here and as the rows are read.
std::unique_ptr<RowSource> xlsx_rows(RandomAccessSource& file,
                                     const std::atomic<bool>* stop = nullptr,
                                     SheetReading reading = SheetReading::usual_rows_first);

/// The rows of an OpenDocument spreadsheet (.ods), as above.
std::unique_ptr<RowSource> ods_rows(RandomAccessSource& file,
                                    const std::atomic<bool>* stop = nullptr,
                                    SheetReading reading = SheetReading::usual_rows_first);

}  // namespace convert
