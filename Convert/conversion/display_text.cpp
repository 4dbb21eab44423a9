#include "display_text.h"

#include <array>

#include "utf8.h"

namespace convert {

namespace {

// Windows-1252 differs from Latin-1 only in 0x80-0x9F; its five unassigned
// bytes there are shown as the control characters Latin-1 gives them.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

std::u16string from_cp1252(std::string_view bytes) {
    std::u16string text;
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        text += b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : char16_t{b};
    }
    return text;
}

/// Strict UTF-8: no surrogates either.
bool from_utf8(std::string_view bytes, std::u16string& text) {
    text.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        char32_t c = 0;
        const std::size_t length = decode_utf8(bytes, i, c);
        if (length == 0 || (c >= 0xD800 && c <= 0xDFFF)) return false;
        append_utf16(text, c);
        i += length;
    }
    return true;
}

}  // namespace

std::u16string decoded_text(std::string_view bytes) {
    std::u16string text;
    return from_utf8(bytes, text) ? text : from_cp1252(bytes);
}

std::u16string shown_message(std::string_view bytes) {
    std::u16string text = decoded_text(bytes);
    if (text.size() > kLongestShownMessage) {
        text.resize(kLongestShownMessage);
        text += u'\u2026';
    }
    return text;
}

}  // namespace convert
