#include "text/utf8.h"

#include <gtest/gtest.h>

#include <string>

using namespace convert;

namespace {

// Each lead byte's range, at its edges: shortest forms only, nothing past
// U+10FFFF, no truncated or broken sequences; and each code point back.
TEST(Utf8, EveryLeadByteBoundary) {
    const struct {
        std::string bytes;
        std::size_t length;  // 0: no sequence
        char32_t code_point;
    } cases[] = {
        {"\x7F", 1, 0x7F},
        {"\x80", 0, 0},
        {"\xBF", 0, 0},
        {"\xC0\x80", 0, 0},  // overlong
        {"\xC1\xBF", 0, 0},  // overlong
        {"\xC2\x80", 2, 0x80},
        {"\xDF\xBF", 2, 0x7FF},
        {"\xC2", 0, 0},          // truncated
        {"\xC2\x41", 0, 0},      // no continuation
        {"\xE0\x9F\xBF", 0, 0},  // overlong
        {"\xE0\xA0\x80", 3, 0x800},
        {"\xED\xA0\x80", 3, 0xD800},  // a surrogate, as Windows names may hold
        {"\xEF\xBF\xBF", 3, 0xFFFF},
        {"\xE0\xA0", 0, 0},
        {"\xF0\x8F\xBF\xBF", 0, 0},  // overlong
        {"\xF0\x90\x80\x80", 4, 0x10000},
        {"\xF4\x8F\xBF\xBF", 4, 0x10FFFF},
        {"\xF4\x90\x80\x80", 0, 0},  // past U+10FFFF
        {"\xF5\x80\x80\x80", 0, 0},
        {"\xFF", 0, 0},
    };
    // A sequence cut short by the end of the bytes, though more follow in
    // memory.
    char32_t cut = 0;
    EXPECT_EQ(decode_utf8(std::string_view("\xC2\x80").substr(0, 1), 0, cut), 0u);
    for (const auto& c : cases) {
        char32_t code_point = 0;
        EXPECT_EQ(decode_utf8(c.bytes, 0, code_point), c.length) << testing::PrintToString(c.bytes);
        if (c.length != 0) {
            EXPECT_EQ(code_point, c.code_point) << testing::PrintToString(c.bytes);
            // And back: through UTF-16, a lone surrogate as itself.
            std::u16string units;
            append_utf16(units, c.code_point);
            EXPECT_EQ(utf8_of(units), c.bytes) << testing::PrintToString(c.bytes);
        }
    }
}

}  // namespace
