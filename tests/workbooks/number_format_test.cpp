#include "workbooks/number_format.h"

#include <gtest/gtest.h>

#include <limits>

using namespace convert;

namespace {

// Fixed digits: rounded to 15 digits first, then to the format's, never from
// the double directly, and half away from zero where the decimal is a tie.
TEST(NumberFormat, ShownAsTheCsvExportWritesIt) {
    const struct {
        double value;
        std::string_view code;
        std::string shown;
    } cases[] = {
        // clang-format off
        {7, "General", "7"}, {62.5, "general", "62.5"}, {-2, "General", "-2"},
        {0.1 + 0.2, "General", "0.3"}, {2.0 / 3, "General", "0.666666666666667"},
        {1e-7, "General", "0.0000001"}, {-1.5e-7, "General", "-0.00000015"}, {-0.0, "General", "0"},
        {123456789012345.6, "General", "123456789012346"},
        {999999999999999.9, "@", "1000000000000000"},
        // General as the export writes it, by LibreOffice's own output: whole
        // numbers up to 2^53, the shortest decimal rounded half up, and the
        // exponents of the largest and smallest.
        {9007199254740991.0, "General", "9007199254740991"}, {1e16, "General", "1E+016"},
        {9007199254740992.0, "General", "9.00719925474099E+015"}, {-1e16, "General", "-1E+016"},
        {12345678901234567.0, "General", "1.23456789012346E+016"}, {1e20, "General", "1E+020"},
        {1000000000000000.5, "General", "1E+015"}, {999999999999999.5, "@", "1000000000000000"},
        {123456789012344.5, "General", "123456789012345"},  // a tie: up, not to even
        {1.041392685158225, "General", "1.04139268515823"},  // 1.04139268515822497... as a double
        {7173112.722621645, "General", "7173112.72262165"}, {0.9999999999999999, "General", "1"},
        {0.00012345, "General", "0.00012345"}, {1.25e-5, "General", "0.0000125"},
        {1.23456789012345678e-6, "General", "1.23456789012346E-06"}, {1e-14, "General", "1E-14"},
        {9.9999999999999994e-12, "General", "1E-11"}, {-1e-15, "General", "-1E-15"},
        {0.0009999999999999995, "General", "0.001"}, {9.999999999999995e-5, "General", "0.0001"},
        {2.2250738585072014e-308, "General", "2.2250738585072E-308"}, {5e-324, "General", "5E-324"},
        {1.23456789012345e-300, "General", "1.23456789012345E-300"},
        {12345678901234.5678, "General", "12345678901234.6"},
        {1.005, "0.00", "1.01"},  // 1.00499999999999989... as a double
        {0.125, "0.00", "0.13"},  // a tie: away from zero, not to even
        {-2.5, "0", "-3"}, {0.95, "0.0", "1.0"}, {7, "000", "007"}, {0.5, "#.##", ".5"},
        {2, "#.##", "2."}, {0, "#", ""}, {0, "#.##", "."}, {9.5, "#", "10"}, {0.5, ".00", ".50"},
        {-0.4, "0", "-0"}, {-0.0004, "0.00", "-0.00"}, {-0.0, "0.00", "0.00"},
        {1250, "#,##0", "1,250"}, {999.995, "#,##0.00", "1,000.00"},  // the carry makes a group
        {-1234567.891, "#,##0.00", "-1,234,567.89"}, {7, "0,000", "0,007"}, {250, "#,#", "250"},
        {1, "0.0#", "1.0"}, {1.234, "0.0#", "1.23"}, {12.3456, "00.000", "12.346"},
        {1e20, "#,##0", "100,000,000,000,000,000,000"},
        {1234567890123456789.0, "0", "1234567890123460000"},
        {0.1, "0.00000000000000000000", "0.10000000000000000000"},
        {std::numeric_limits<double>::max(), "General", "1.7976931348623157E+308"},
        {1.7976931348623147e308, "General", "1.79769313486231E+308"},
        // clang-format on
    };
    for (const auto& c : cases) {
        const auto format = std::get<NumberFormat>(excel_number_format(c.code));
        EXPECT_EQ(shown_number(c.value, format), c.shown) << c.value << " as " << c.code;
    }
    // As an OpenDocument style may give them: fewer decimals than it keeps.
    EXPECT_EQ(shown_number(2.5, {FixedDigits{.min_decimals = 3, .max_decimals = 1}}), "2.500");
}

constexpr std::monostate kGeneral;
struct Refused {};
constexpr Refused refused;

// Only 0s, #s, a point and thousands commas, in the order whose display is
// sure, are read; the rest are refused with their code.
TEST(NumberFormat, ExcelCodesReadOrRefused) {
    const struct {
        std::string code;
        std::variant<std::monostate, FixedDigits, Refused> read;
    } cases[] = {
        // clang-format off
        {"GENERAL", kGeneral}, {"@", kGeneral}, {"0", FixedDigits{1, 0, 0}},
        {"000", FixedDigits{3, 0, 0}}, {"#", FixedDigits{0, 0, 0}}, {"#.##", FixedDigits{0, 0, 2}},
        {".00", FixedDigits{0, 2, 2}}, {"0.0#", FixedDigits{1, 1, 2}},
        {"#,##0.00", FixedDigits{1, 2, 2, true}}, {"0.0%", refused},
        {"[Red]0.0%;0%", refused}, {"0.00E+00", refused}, {"# ?/?", refused},
        {"mm-dd-yy", refused}, {"mmmm", refused}, {"[$-409]d-mmm-yy", refused}, {"yyyy-mm-dd hh:mm", refused},
        {"h:mm AM/PM", refused}, {"mm:ss", refused}, {"[h]:mm", refused}, {"[mm]", refused},
        {"\"$\"#,##0.00", refused}, {"#,##0.00 [$\xE2\x82\xAC-407]", refused},
        {"\\\xC2\xA3" "0", refused}, {"[$-409]0.00", refused}, {"#,##0;[Red]-#,##0", refused},
        {"[Red]General", refused}, {"0.00_)", refused}, {"* 0", refused}, {"#,##0,", refused},
        {",#", refused}, {"#,,##0", refused}, {"0 \"kg\"", refused}, {"\"d\"0", refused}, {"0#", refused},
        {"0.#0", refused}, {"0.", refused}, {"0.0.0", refused}, {"??0.00", refused}, {"", refused},
        {"General ", refused}, {"0." + std::string(256, '0'), refused}, {"[Red", refused},
        {std::string(255, '0'), FixedDigits{255, 0, 0}}, {std::string(256, '0'), refused},
        {"0." + std::string(255, '0'), FixedDigits{1, 255, 255}},
        // clang-format on
    };
    for (const auto& c : cases) {
        ExcelFormat expected = NumberFormat{};
        if (const auto* d = std::get_if<FixedDigits>(&c.read)) expected = NumberFormat{*d};
        if (std::holds_alternative<Refused>(c.read)) expected = RefusedFormat{c.code};
        EXPECT_EQ(excel_number_format(c.code), expected) << c.code;
    }
}

TEST(NumberFormat, BuiltInIdsJudgedByTheirCodes) {
    const struct {
        unsigned id;
        ExcelFormat read;
    } cases[] = {
        // clang-format off
        {0, NumberFormat{}}, {4, NumberFormat{FixedDigits{1, 2, 2, true}}}, {49, NumberFormat{}},
        {14, RefusedFormat{"mm-dd-yy"}}, {38, RefusedFormat{"#,##0 ;[Red](#,##0)"}},
        {47, RefusedFormat{"mmss.0"}}, {48, RefusedFormat{"##0.0E+0"}},
        {5, RefusedFormat{"#5"}}, {164, RefusedFormat{"#164"}},
        // clang-format on
    };
    for (const auto& c : cases) EXPECT_EQ(excel_builtin_number_format(c.id), c.read) << c.id;
}

TEST(NumberFormat, StoredNumberTextOnly) {
    const struct {
        std::string_view text;
        std::optional<double> value;
    } cases[] = {
        // clang-format off
        {"1.5", 1.5}, {"-2", -2.0}, {"1E-3", 0.001}, {"6.2500000000000003E-2", 0.0625}, {"", {}},
        {" 1", {}}, {"1 ", {}}, {"1x", {}}, {"+1", {}}, {"1,5", {}}, {"0x10", {}}, {"inf", {}},
        {"nan", {}}, {"1E400", {}},
        // clang-format on
    };
    for (const auto& c : cases) EXPECT_EQ(parse_cell_number(c.text), c.value) << c.text;
}

}  // namespace
