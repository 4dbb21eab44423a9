#include "text/code_page.h"

#include <gtest/gtest.h>

#include <iostream>
#include <optional>
#include <string>

using namespace convert;

namespace {

// Windows-1252 from UTF-8: its five undefined bytes stand for themselves,
// and a character it lacks has no look-alike. Where this system's target
// code page is Windows-1252 (Windows in the West, and Wine), it gives the
// same bytes.
TEST(CodePage, Windows1252AndTheSystemsOwn) {
    const struct {
        std::string utf8;
        std::optional<std::string> written;
    } cases[] = {
        {"Citro\xc3\xabn", "Citro\xebn"},
        {"\xe2\x82\xac \xc5\xb8 \xc3\xbf", "\x80 \x9f \xff"},  // the euro, Ÿ, ÿ
        {"\xc2\x81\xc2\x8d\xc2\x8f\xc2\x90\xc2\x9d", "\x81\x8d\x8f\x90\x9d"},
        {"\xc2\x80", std::nullopt},      // U+0080 has no byte: 0x80 is the euro
        {"\xc4\x80", std::nullopt},      // Ā, not A
        {"\xe2\x80\x83", std::nullopt},  // an em space, not a space
        {"\xf0\x9f\x98\x80", std::nullopt},
    };
    const CodePage& system = target_code_page();
    std::cout << "the target's code page here: " << system.number() << "\n";
    ::testing::Test::RecordProperty("target_code_page", static_cast<int>(system.number()));
    for (const auto& c : cases) {
        for (const CodePage* code_page : {&windows_1252_code_page(), &system}) {
            if (code_page->number() != 1252) continue;
            std::string out;
            const bool written = code_page->encode(c.utf8, out);
            EXPECT_EQ(written, c.written.has_value()) << c.utf8;
            if (written) {
                EXPECT_EQ(out, *c.written) << c.utf8;
            }
        }
    }
}

}  // namespace
