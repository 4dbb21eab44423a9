#include "window_shared/display_text.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "text/utf8.h"
#include "text/windows_1252.h"

namespace convert {

namespace {

std::u16string from_cp1252(std::string_view bytes) {
    std::u16string text;
    text.reserve(bytes.size());
    for (const char c : bytes) text += from_windows_1252(static_cast<unsigned char>(c));
    return text;
}

bool from_utf8(std::string_view bytes, std::u16string& text) {
    text.reserve(bytes.size());
    return each_utf8_character(bytes, [&text](char32_t c) { append_utf16(text, c); });
}

}  // namespace

std::u16string decoded_text(std::string_view bytes) {
    std::u16string text;
    return from_utf8(bytes, text) ? text : from_cp1252(bytes);
}

std::size_t screen_columns(std::string_view bytes) {
    // The wide and the combining ranges, roughly as terminals take them.
    constexpr std::pair<char32_t, char32_t> kWide[] = {
        {0x1100, 0x115F},   {0x2E80, 0x303E},   {0x3041, 0x33FF}, {0x3400, 0x4DBF},
        {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},   {0xAC00, 0xD7A3}, {0xF900, 0xFAFF},
        {0xFE30, 0xFE4F},   {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6}, {0x1F300, 0x1F64F},
        {0x1F900, 0x1F9FF}, {0x20000, 0x3FFFD},
    };
    const auto in = [](char32_t c, char32_t first, char32_t last) {
        return c >= first && c <= last;
    };
    const auto width = [&](char32_t c) -> std::size_t {
        if (in(c, 0x0300, 0x036F) || in(c, 0x200B, 0x200F)) return 0;
        return std::any_of(std::begin(kWide), std::end(kWide),
                           [&](const auto& range) { return in(c, range.first, range.second); })
                   ? 2
                   : 1;
    };
    std::size_t columns = 0;
    // Bytes that are no UTF-8 are Windows-1252: a column each.
    if (!each_utf8_character(bytes, [&](char32_t c) { columns += width(c); })) {
        columns = bytes.size();
    }
    return columns;
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
