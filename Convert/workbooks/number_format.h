// How a workbook's cell shows a number, as its comma-separated export with a
// decimal point writes it: the formats Convert reads, the codes of those it
// refuses, and the number text a workbook stores.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace convert {

/// Digits placed by a fixed format, such as 0.00 or #,##0.
struct FixedDigits {
    std::uint8_t min_integer_digits = 1;  // leading zeros up to this many; 0: none for 0.x
    std::uint8_t min_decimals = 0;        // trailing zeros kept up to this many
    std::uint8_t max_decimals = 0;        // rounded to this many; a point when not 0
    bool thousands = false;               // integer digits grouped by three with ','

    friend bool operator==(const FixedDigits&, const FixedDigits&) = default;
};
/// The most digits a format places in one part, as FixedDigits counts them.
inline constexpr std::size_t kMostDigits = std::numeric_limits<std::uint8_t>::max();

/// How a cell shows a number: General when it has no fixed digits.
struct NumberFormat {
    std::optional<FixedDigits> digits;

    friend bool operator==(const NumberFormat&, const NumberFormat&) = default;
};

/// A format Convert does not read, with its code as the workbook has it.
struct RefusedFormat {
    std::string code;

    friend bool operator==(const RefusedFormat&, const RefusedFormat&) = default;
};

using ExcelFormat = std::variant<NumberFormat, RefusedFormat>;

/// How a cell style shows numbers, whichever kind of workbook: by a format
/// Convert reads, or refused with the code its user set.
struct CellFormat {
    std::optional<NumberFormat> shown;  // none: refused
    std::string code;                   // as the workbook has it, for a refusal's message
};

/// The format of an Excel format code: General for General (any case) and
/// for the text format @; fixed digits for a code of only 0, #, one point,
/// and commas between integer placeholders, its #s before its 0s in the
/// integer part and after them in the decimals; any other code refused.
ExcelFormat excel_number_format(std::string_view code);

/// The code of Excel's built-in number format `id`, or "" for an id whose
/// code is the locale's or that has none.
std::string_view excel_builtin_format_code(unsigned id);

/// The format of built-in `id` by its code; an id with no code is refused as
/// other, shown as # and the id (#164).
ExcelFormat excel_builtin_number_format(unsigned id);

/// A finite `value` as `format` shows it in the export. General writes it
/// in at most 15 significant digits, rounded half away from zero from its
/// shortest decimal, whole numbers below 2^53 whole, and 0 for -0; from
/// 1E15 up, and below 1E-4 where 9 decimals do not hold it, with an
/// exponent (1E+016, 1.23456789012346E-06). Fixed digits round it first to 15 significant digits,
/// then half away from zero to max_decimals (at least min_decimals), never with an exponent, and
/// keep the sign of a negative value that rounds to 0 (-0).
std::string shown_number(double value, const NumberFormat& format);

/// Whether General shows the number stored as `text` as it stands: a whole
/// number of at most 15 digits without leading zeros, but -0.
bool general_shows_as_stored(std::string_view text);

/// The number a workbook stores as decimal text (1.5, -2, 1E-3), with nothing
/// before or after it; none for any other text, or a number out of range.
std::optional<double> parse_cell_number(std::string_view text);

}  // namespace convert
