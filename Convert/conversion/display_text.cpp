#include "display_text.h"

#include "utf8.h"
#include "windows_1252.h"

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

std::u16string shown_message(std::string_view bytes) {
    std::u16string text = decoded_text(bytes);
    if (text.size() > kLongestShownMessage) {
        text.resize(kLongestShownMessage);
        text += u'\u2026';
    }
    return text;
}

}  // namespace convert
