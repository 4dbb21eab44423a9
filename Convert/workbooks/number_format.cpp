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

/// `magnitude`, finite and above zero, as the shortest decimal that reads
/// back as the same number.
Decimal shortest_digits(double magnitude) {
    // d[.ddd]e±x
    std::array<char, 32> text{};
    const char* end = std::to_chars(text.data(), text.data() + text.size(), magnitude,
                                    std::chars_format::scientific)
                          .ptr;
    const std::string_view all(text.data(), static_cast<std::size_t>(end - text.data()));
    const std::size_t e = all.find('e');
    Decimal decimal;
    for (const char c : all.substr(0, e)) {
        if (c != '.') decimal.digits += c;
    }
    int exponent = 0;
    const std::string_view power = all.substr(e + (all[e + 1] == '+' ? 2 : 1));
    std::from_chars(power.data(), power.data() + power.size(), exponent);
    decimal.point = exponent + 1;
    return decimal;
}

/// Rounds `decimal`'s digits half away from zero to `count` (at least 0),
/// its trailing zeros dropped; none are left for zero.
void round_digits(Decimal& decimal, int count) {
    if (count < static_cast<int>(decimal.digits.size())) {
        const bool up = count >= 0 && decimal.digits[count] >= '5';
        decimal.digits.resize(std::max(count, 0));
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
    decimal.digits.erase(decimal.digits.find_last_not_of('0') + 1);
}

/// Appends `decimal` (not zero) as d.dddE+xx, its exponent of at least `width` digits.
void append_scientific(std::string& text, const Decimal& decimal, int width) {
    text += decimal.digits[0];
    if (decimal.digits.size() > 1) text.append(1, '.').append(decimal.digits, 1);
    const int exponent = decimal.point - 1;
    const std::string power = std::to_string(std::abs(exponent));
    text.append(exponent < 0 ? "E-" : "E+");
    text.append(std::max(0, width - static_cast<int>(power.size())), '0').append(power);
}

/// Appends `decimal` without an exponent.
void append_plain(std::string& text, const Decimal& decimal) {
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

/// Appends `magnitude`, finite and not negative, as the export writes it in
/// the General format. Whole numbers that a double holds exactly come whole.
/// The others start from their shortest decimal, rounded half away from zero
/// to 15 significant digits (fewer where a plain number would show more
/// than 20 decimals); from 1E15 up, by the exponent before rounding, they
/// are written with an exponent of three digits. Below 1E-4, a number that
/// 9 decimals do not hold (to within 2^-48 of itself) is written with 15
/// digits and an exponent of two; those they hold are at least 1E-9.
void append_general(std::string& text, double magnitude) {
    constexpr double kLargestWhole = 9007199254740991.0;  // 2^53 - 1
    // The five largest doubles keep their shortest digits.
    constexpr double kFifthLargest = 1.797693134862315e308;
    if (magnitude == 0) {
        text += '0';
        return;
    }
    if (magnitude <= kLargestWhole && magnitude == std::floor(magnitude)) {
        text += std::to_string(static_cast<std::uint64_t>(magnitude));
        return;
    }
    Decimal decimal = shortest_digits(magnitude);
    const int exponent = decimal.point - 1;
    if (magnitude < 1e-4) {
        Decimal nine = decimal;
        round_digits(nine, decimal.point + 9);
        double held = 0;
        if (!nine.digits.empty()) {
            const std::string nine_text = "0." + nine.digits + "e" + std::to_string(nine.point);
            std::from_chars(nine_text.data(), nine_text.data() + nine_text.size(), held);
        }
        if (held == 0 || std::fabs(held - magnitude) > magnitude * 0x1p-48) {
            round_digits(decimal, 15);
            append_scientific(text, decimal, 2);
            return;
        }
    }
    const int count = magnitude >= kFifthLargest       ? 17
                      : exponent < 0 && exponent > -15 ? std::min(15, 21 + exponent)
                                                       : 15;
    round_digits(decimal, count);
    if (exponent >= 15) {
        append_scientific(text, decimal, 3);
    } else {
        append_plain(text, decimal);
    }
}

/// Appends `decimal` as `format` places its digits.
void append_fixed(std::string& text, Decimal decimal, const FixedDigits& format) {
    const int decimals = std::max(format.min_decimals, format.max_decimals);
    // Half away from zero at the last decimal: the first digit dropped decides.
    round_digits(decimal, decimal.point + decimals);
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
    std::string text;
    if (value < 0) text += '-';
    if (format.digits) {
        append_fixed(text, fifteen_digits(std::fabs(value)), *format.digits);
    } else {
        append_general(text, std::fabs(value));
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

bool general_shows_as_stored(std::string_view text) {
    const bool negative = !text.empty() && text[0] == '-';
    if (negative) text.remove_prefix(1);
    if (text.empty() || text.size() > 15 || (text[0] == '0' && (negative || text.size() > 1))) {
        return false;
    }
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace convert
