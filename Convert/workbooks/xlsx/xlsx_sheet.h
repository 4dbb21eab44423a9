// The first worksheet of an Office Open XML workbook (.xlsx), found through
// its package's relationships, its cells read with the workbook's shared
// strings and styles.
#pragma once

#include <memory>
#include <string>

#include "sources/byte_source.h"
#include "workbooks/sheet_rows.h"
#include "workbooks/workbook_rows.h"

namespace convert {

/// The first worksheet of `file` (which must outlive it); `part` names the
/// part being read at any time, and must outlive it too. Throws
/// WorkbookError, or the errors of the file, the zip and the XML, which
/// xlsx_rows() words as the workbook's.
std::unique_ptr<SheetReader> xlsx_sheet(RandomAccessSource& file, std::string& part,
                                        SheetReading reading);

}  // namespace convert
