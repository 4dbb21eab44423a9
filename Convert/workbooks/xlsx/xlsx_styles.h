// How an .xlsx's cell styles show numbers: each style's number format, read
// once however many styles use it, bounded.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "workbooks/number_format.h"
#include "workbooks/xlsx/xlsx_package.h"

namespace convert::xlsx {

class Styles {
public:
    /// Reads part `path` of `package`.
    void read(Package& package, const std::string& path);
    /// The format of cell style `style`; null for one the workbook does not
    /// have. A workbook without styles shows every number in General.
    const CellFormat* format_of(unsigned style) const;

private:
    std::vector<CellFormat> formats_;    // each number format the styles use, once
    std::vector<std::uint32_t> styles_;  // each cell style's, in formats_
};

}  // namespace convert::xlsx
