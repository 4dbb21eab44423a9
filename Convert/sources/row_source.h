// A source's rows, one at a time, as a conversion reads them, whatever the
// source: a CSV file, or a workbook's sheet read as its CSV export would be.
// The first row is the header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "sources/padded_bytes.h"

namespace convert {

/// The longest row, all its lines, its line end not counted: 16 MiB.
inline constexpr std::size_t kLongestRow = std::size_t{16} << 20;
/// Rows shorter than this (line end not counted) end the data, unless data
/// rows follow them.
inline constexpr std::size_t kShortestRow = 10;

/// Thrown by a source whose run was asked to stop.
struct RunStopped {};

/// What reading tells of a row besides its values.
struct RowShape {
    std::size_t length = 0;     // as written, in bytes, its line end not counted
    bool blank = false;         // every field holds nothing but spaces
    bool line_breaks = false;   // some field holds a CR or an LF
    bool beyond_ascii = false;  // some field holds a byte above 0x7F
};

/// A workbook cell whose value Convert does not read as the sheet shows it.
struct CellRefusal {
    enum class Kind {
        number_format,    // `detail` is the format's code: a date, a percentage...
        error,            // `detail` is the error value, as #N/A
        unsaved_formula,  // a formula whose value was never saved
    };
    Kind kind = Kind::number_format;
    std::string cell;  // as a spreadsheet names it: C2
    std::string detail;
};

/// Takes a row's fields as a source reads them.
class FieldTaker {
public:
    /// The row is read from its start (again, after more bytes were read):
    /// forget its fields so far.
    virtual void start_row() = 0;
    /// The row's values from `first_column` on, in order; columns between
    /// one call's last and the next call's first are empty. The views stay
    /// valid until the next read.
    virtual void take(std::size_t first_column, std::span<const PaddedView> values) = 0;
    /// Field `column` holds a value the source refuses to read: the run is
    /// refused when the column is one it takes.
    virtual void refuse(std::size_t column, const CellRefusal& refusal) = 0;
    /// One past the last column whose value or refusal it takes: a source
    /// need hand it nothing from there on.
    virtual std::size_t columns_taken() const { return static_cast<std::size_t>(-1); }

protected:
    ~FieldTaker() = default;
};

/// Where each field of a row read the quick way stands in it: the bytes of
/// column c are row.substr(starts[c], sizes[c]).
struct FieldPlaces {
    std::vector<std::uint32_t> starts;
    std::vector<std::uint32_t> sizes;
};

class RowSource {
public:
    enum class Read {
        row,             // a row was read
        end,             // there are no more rows
        quick,           // (read_quick) a row was read plain
        careful,         // (read_quick) the next row is not plain: read it with read
        unclosed_quote,  // a quoted field of the next row is never closed
        too_long,        // the next row is longer than kLongestRow
    };

    virtual ~RowSource() = default;

    /// Reads the next row, handing its values to `fields` and its shape to
    /// `shape`. Throws ReadError, or the source's own errors.
    virtual Read read(FieldTaker& fields, RowShape& shape) = 0;

    /// The quick way, where a source has one: when the next row is plain
    /// (its fields stand in it as they are), reads it, sets `row` to its
    /// bytes and `places` for its first `columns` fields (some past them
    /// may be set too; `places` must hold columns + 64), and answers
    /// `quick`; `careful` when it is not plain, having read nothing.
    virtual Read read_quick(std::size_t columns, FieldPlaces& places, PaddedView& row) {
        (void)columns;
        (void)places;
        (void)row;
        return Read::careful;
    }
    /// The shape of a row read the quick way.
    virtual RowShape quick_shape(PaddedView row) const { return {row.size(), false, false, false}; }

    /// The number of the row last read, or of the row refused, as a
    /// spreadsheet counts: 1 for the first, one for each row however many
    /// lines its cells hold.
    virtual std::size_t number() const = 0;
};

}  // namespace convert
