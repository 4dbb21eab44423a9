// The target's code page on Windows: the system's ANSI code page, as plain
// "CSV" from a spreadsheet comes in.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>

#include "text/code_page.h"
#include "text/utf8.h"

namespace convert {

namespace {

class AnsiCodePage : public CodePage {
public:
    unsigned number() const override { return number_; }
    bool encode(std::string_view text, std::string& out) const override {
        if (number_ == kUtf8CodePage) {
            out.append(text);
            return true;
        }
        std::u16string wide;
        each_utf8_character(text, [&](char32_t c) { append_utf16(wide, c); });
        if (wide.empty()) return true;
        const auto* units = reinterpret_cast<const wchar_t*>(wide.data());
        const int count = static_cast<int>(wide.size());
        // No best fit: a character the code page lacks is reported, never
        // written as a look-alike ("A" for "Ā").
        BOOL defaulted = FALSE;
        const int size = ::WideCharToMultiByte(number_, WC_NO_BEST_FIT_CHARS, units, count, nullptr,
                                               0, nullptr, &defaulted);
        if (size <= 0 || defaulted) return false;
        const std::size_t at = out.size();
        out.resize(at + static_cast<std::size_t>(size));
        return ::WideCharToMultiByte(number_, WC_NO_BEST_FIT_CHARS, units, count, out.data() + at,
                                     size, nullptr, &defaulted) == size &&
               !defaulted;
    }

private:
    unsigned number_ = ::GetACP();
};

}  // namespace

const CodePage& target_code_page() {
    static const AnsiCodePage code_page;
    return code_page;
}

}  // namespace convert
