#include "workbooks/number_format.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <utility>

#include "text/ascii_text.h"

namespace convert {

namespace {

/// The fixed digits of a code of 0s, #s, one point and thousands commas, or
/// none when the code is anything else.
std::optional<FixedDigits> simple_digits(std::string_view code) {
    const std::size_t point = code.find('.');
    const std::string_view integer = code.substr(0, point);
    const std::string_view decimals =
        point == std::string_view::npos ? std::string_view{} : code.substr(point + 1);
    // A point alone (0.) also shows for a whole number: not a fixed format here.
    if (code.empty() || (point != std::string_view::npos && decimals.empty())) return std::nullopt;
    std::size_t integer_zeros = 0;
    bool thousands = false;
    for (std::size_t i = 0; i < integer.size(); ++i) {
        const char c = integer[i];
        if (c == '#' && integer_zeros == 0) continue;
        if (c == '0') {
            ++integer_zeros;
        } else if (c == ',' && i > 0 && i + 1 < integer.size() && integer[i + 1] != ',') {
            thousands = true;  // between placeholders: a comma before it has failed
        } else {
            return std::nullopt;
        }
    }
    const std::size_t decimal_zeros = std::min(decimals.find_first_not_of('0'), decimals.size());
    if (decimals.find_first_not_of('#', decimal_zeros) != std::string_view::npos ||
        integer_zeros > kMostDigits || decimals.size() > kMostDigits) {
        return std::nullopt;
    }
    return FixedDigits{static_cast<std::uint8_t>(integer_zeros),
                       static_cast<std::uint8_t>(decimal_zeros),
                       static_cast<std::uint8_t>(decimals.size()), thousands};
}

/// A number's magnitude as decimal digits: no leading zeros, none at all for
/// zero, and 0.digits times ten to the `point`.
struct Decimal {
    std::string digits;
    int point = 0;
};

/// `magnitude`, finite and not negative, correctly rounded to 15 significant
/// digits, without trailing zeros.
Decimal fifteen_digits(double magnitude) {
    // d.dddddddddddddde±x, the exponent of two or three digits.
    std::array<char, 32> text{};
    const char* end = std::to_chars(text.data(), text.data() + text.size(), magnitude,
                                    std::chars_format::scientific, 14)
                          .ptr;
    Decimal decimal;
    decimal.digits.push_back(text[0]);
    decimal.digits.append(text.data() + 2, 14);
    int exponent = 0;
    std::from_chars(text.data() + 18, end, exponent);
    decimal.point = (text[17] == '-' ? -exponent : exponent) + 1;
    decimal.digits.erase(decimal.digits.find_last_not_of('0') + 1);
    if (decimal.digits.empty()) decimal.point = 0;
    return decimal;
}

/// Appends `decimal` in the fewest digits.
void append_general(std::string& text, const Decimal& decimal) {
    const int size = static_cast<int>(decimal.digits.size());
    if (size == 0) {
        text += '0';
    } else if (decimal.point <= 0) {
        text.append("0.").append(-decimal.point, '0').append(decimal.digits);
    } else if (decimal.point >= size) {
        text.append(decimal.digits).append(decimal.point - size, '0');
    } else {
        text.append(decimal.digits, 0, decimal.point).append(1, '.');
        text.append(decimal.digits, decimal.point);
    }
}

/// Appends `decimal` as `format` places its digits.
void append_fixed(std::string& text, Decimal decimal, const FixedDigits& format) {
    const int decimals = std::max(format.min_decimals, format.max_decimals);
    // Half away from zero at the last decimal: the first digit dropped decides.
    const int kept = decimal.point + decimals;
    if (kept < static_cast<int>(decimal.digits.size())) {
        const bool up = kept >= 0 && decimal.digits[kept] >= '5';
        decimal.digits.resize(std::max(kept, 0));
        if (up) {
            decimal.digits.erase(decimal.digits.find_last_not_of('9') + 1);
            if (decimal.digits.empty()) {
                decimal.digits.push_back('1');
                ++decimal.point;
            } else {
                ++decimal.digits.back();
            }
        }
    }
    const int size = static_cast<int>(decimal.digits.size());
    const auto digit = [&](int at) { return at >= 0 && at < size ? decimal.digits[at] : '0'; };
    // The integer digits, leading zeros left of the first digit.
    const int first = decimal.point - std::max<int>({decimal.point, 0, format.min_integer_digits});
    for (int at = first; at < decimal.point; ++at) {
        if (format.thousands && at > first && (decimal.point - at) % 3 == 0) text += ',';
        text += digit(at);
    }
    if (decimals == 0) return;
    int shown = decimals;
    while (shown > format.min_decimals && digit(decimal.point + shown - 1) == '0') --shown;
    text += '.';
    for (int at = decimal.point; at < decimal.point + shown; ++at) text += digit(at);
}

}  // namespace

ExcelFormat excel_number_format(std::string_view code) {
    if (code == "@" || equals_ignoring_case(code, "general")) {
        return NumberFormat{};
    }
    if (const std::optional<FixedDigits> digits = simple_digits(code)) return NumberFormat{digits};
    return RefusedFormat{std::string(code)};
}

std::string_view excel_builtin_format_code(unsigned id) {
    // Those whose code is the same in every locale.
    static constexpr std::pair<unsigned, std::string_view> kCodes[] = {
        {0, "General"},
        {1, "0"},
        {2, "0.00"},
        {3, "#,##0"},
        {4, "#,##0.00"},
        {9, "0%"},
        {10, "0.00%"},
        {11, "0.00E+00"},
        {12, "# ?/?"},
        {13, "# ?\?/??"},  // ?\? so that ??/ is no trigraph
        {14, "mm-dd-yy"},
        {15, "d-mmm-yy"},
        {16, "d-mmm"},
        {17, "mmm-yy"},
        {18, "h:mm AM/PM"},
        {19, "h:mm:ss AM/PM"},
        {20, "h:mm"},
        {21, "h:mm:ss"},
        {22, "m/d/yy h:mm"},
        {37, "#,##0 ;(#,##0)"},
        {38, "#,##0 ;[Red](#,##0)"},
        {39, "#,##0.00;(#,##0.00)"},
        {40, "#,##0.00;[Red](#,##0.00)"},
        {45, "mm:ss"},
        {46, "[h]:mm:ss"},
        {47, "mmss.0"},
        {48, "##0.0E+0"},
        {49, "@"},
    };
    for (const auto& [known, code] : kCodes) {
        if (known == id) return code;
    }
    return {};
}

ExcelFormat excel_builtin_number_format(unsigned id) {
    const std::string_view code = excel_builtin_format_code(id);
    if (code.empty()) return RefusedFormat{'#' + std::to_string(id)};
    return excel_number_format(code);
}

std::string shown_number(double value, const NumberFormat& format) {
    const Decimal decimal = fifteen_digits(std::fabs(value));
    std::string text;
    if (value < 0) text += '-';
    if (format.digits) {
        append_fixed(text, decimal, *format.digits);
    } else {
        append_general(text, decimal);
    }
    return text;
}

std::optional<double> parse_cell_number(std::string_view text) {
    double value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc{} || stop != end || !std::isfinite(value)) return std::nullopt;
    return value;
}

}  // namespace convert
