// An OpenDocument spreadsheet's package opened: its type checked, a password
// refused, and the styles of its styles.xml read.
#pragma once

#include <string>

#include "containers/zip_archive.h"
#include "workbooks/ods/ods_styles.h"

namespace convert::ods {

/// Opens the package `zip` as a spreadsheet that needs no password, reading
/// the styles of its styles.xml into `styles`; its content.xml. `part` names
/// the part being read. Throws WorkbookError, or the zip's and the XML's errors.
const ZipEntry& open_package(const ZipArchive& zip, std::string& part, OdsStyles& styles);

}  // namespace convert::ods
