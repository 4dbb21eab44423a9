// UTF-8 and UTF-16, both ways: for file names on Windows, for text shown by
// the front ends, and for values written in the target's code page.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace convert {

/// The code point of the UTF-8 sequence at `bytes[at]`, in its shortest
/// form and at most U+10FFFF, surrogates included; returns the sequence's
/// length, or 0 when the bytes there are no such sequence.
std::size_t decode_utf8(std::string_view bytes, std::size_t at, char32_t& code_point);

/// Calls each(code_point) for every character of `bytes` when they are
/// strict UTF-8 (shortest forms, no surrogates) and returns true; returns
/// false, having called it for some characters or none, when they are not.
template <typename Each>
bool each_utf8_character(std::string_view bytes, Each each) {
    for (std::size_t at = 0; at < bytes.size();) {
        char32_t c = 0;
        const std::size_t length = decode_utf8(bytes, at, c);
        if (length == 0 || (c >= 0xD800 && c <= 0xDFFF)) return false;
        each(c);
        at += length;
    }
    return true;
}

/// Whether `bytes` are strict UTF-8.
inline bool is_strict_utf8(std::string_view bytes) {
    return each_utf8_character(bytes, [](char32_t) {});
}

/// `value` as a message shows it: cut after `longest` bytes, less a UTF-8
/// character the cut would split, then "..."; whole when not longer.
std::string shortened(std::string_view value, std::size_t longest);

/// Appends `code_point` in UTF-16: one unit, or a surrogate pair.
void append_utf16(std::u16string& text, char32_t code_point);

/// Appends `code_point` in UTF-8, a surrogate too (as three bytes).
void append_utf8(std::string& bytes, char32_t code_point);

/// `text`, UTF-16, in UTF-8, an unpaired surrogate encoded like any other
/// code point, so that every text maps to bytes and back exactly.
std::string utf8_of(std::u16string_view text);
/// Appends utf8_of(text) to `bytes`.
void append_utf8(std::string& bytes, std::u16string_view text);

}  // namespace convert
