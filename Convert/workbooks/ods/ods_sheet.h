// The first sheet of an OpenDocument spreadsheet (.ods), its cells shown by
// the workbook's styles.
#pragma once

#include <memory>
#include <string>

#include "sources/byte_source.h"
#include "workbooks/sheet_rows.h"
#include "workbooks/workbook_rows.h"

namespace convert {

/// The first sheet of `file`, as xlsx_sheet() reads an .xlsx's.
std::unique_ptr<SheetReader> ods_sheet(RandomAccessSource& file, std::string& part,
                                       SheetReading reading);

}  // namespace convert
