#include "shown_text.h"

#include <array>

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

/// Strict UTF-8: no overlong forms, no surrogates, nothing past U+10FFFF.
bool from_utf8(std::string_view bytes, std::u16string& text) {
    text.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        const std::size_t length = b < 0x80   ? 1
                                   : b < 0xC2 ? 0
                                   : b < 0xE0 ? 2
                                   : b < 0xF0 ? 3
                                   : b < 0xF5 ? 4
                                              : 0;
        if (length == 0 || i + length > bytes.size()) return false;
        char32_t c = length == 1 ? b : b & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            c = (c << 6) | (next & 0x3F);
        }
        constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
        if (c < kLeast[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
        if (c >= 0x10000) {
            text += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            text += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            text += static_cast<char16_t>(c);
        }
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
