#include "window_shared/display_text.h"

#include <gtest/gtest.h>

#include <string>

using namespace convert;

namespace {

// Bytes from files are shown as UTF-8 where they are valid UTF-8, else as
// Windows-1252, and take a terminal's columns by their characters; messages
// are cut after 1000 characters.
TEST(DisplayText, Utf8ElseWindows1252) {
    const struct {
        std::string bytes;
        std::u16string shown;
        std::size_t columns;
    } cases[] = {
        {"Citro\xc3\xabn", u"Citro\u00ebn", 7},
        {"Citro\xebn", u"Citro\u00ebn", 7},
        {"\x80 \x93x\x94 \x81", u"\u20ac \u201cx\u201d \u0081", 7},
        {"\xed\xa0\x80", u"\u00ed\u00a0\u20ac", 3},  // a surrogate is no UTF-8 text,
        {"\xed\xbf\xbf", u"\u00ed\u00bf\u00bf", 3},  // up to the last one
        {"\xf0\x9f\x98\x80!", u"\U0001F600!", 3},    // a pair of surrogates in UTF-16
        {"\xe6\x97\xa5\xe6\x9c\xac.csv", u"\u65e5\u672c.csv", 8},
        {"e\xcc\x81", u"e\u0301", 1},
        {"a\r\nb", u"a\r\nb", 4},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(decoded_text(c.bytes), c.shown) << c.bytes;
        EXPECT_EQ(screen_columns(c.bytes), c.columns) << c.bytes;
    }
    EXPECT_EQ(shown_message(std::string(1001, 'x')), std::u16string(1000, u'x') + u"\u2026");
    EXPECT_EQ(shown_message(std::string(1000, 'x')), std::u16string(1000, u'x'));
}

}  // namespace
