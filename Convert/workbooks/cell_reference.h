// Cells as a sheet names them: a column's letters, then a row's number from
// 1 (A1, AB7, XFD1048576); columns counted from 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace convert {

/// The most columns a sheet has (Excel's and LibreOffice's bound); cells
/// past them are passed over.
inline constexpr std::size_t kSheetColumns = 16384;

/// The name of the cell in `column` and `row`: A1, AB7.
std::string cell_name(std::size_t column, std::uint64_t row);

/// Reads `name` as a cell's, its letters in either case, as spreadsheet
/// programs read them; a column past the sheet's last is kSheetColumns.
/// False for anything that names no cell.
bool read_cell_name(std::string_view name, std::size_t& column, std::size_t& row);

}  // namespace convert
