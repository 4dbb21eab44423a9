// Byte-wise text helpers: one byte is one character, and only the ASCII
// letters a-z have an upper-case form, whatever the locale.
#pragma once

#include <string>
#include <string_view>

namespace convert {

/// Maps a-z to A-Z in place; every other byte stays as it is.
void upper_in_place(std::string& text);
std::string upper(std::string_view text);

/// Removes leading and trailing space characters (0x20 only; tabs stay).
inline std::string_view trim_spaces(std::string_view text) {
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && text[first] == ' ') ++first;
    while (last > first && text[last - 1] == ' ') --last;
    return text.substr(first, last - first);
}

/// Name order ignoring the case of a-z (bytes compared unsigned), the exact
/// bytes deciding between names that differ only in case.
bool less_ignoring_case(std::string_view a, std::string_view b);

/// Case-insensitive equality for a-z/A-Z; other bytes compare exactly.
bool equals_ignoring_case(std::string_view a, std::string_view b);

/// The code point of the UTF-8 sequence at `bytes[at]`, in its shortest
/// form and at most U+10FFFF, surrogates included; returns the sequence's
/// length, or 0 when the bytes there are no such sequence.
std::size_t decode_utf8(std::string_view bytes, std::size_t at, char32_t& code_point);

/// Appends `code_point` in UTF-16: one unit, or a surrogate pair.
void append_utf16(std::u16string& text, char32_t code_point);

}  // namespace convert
