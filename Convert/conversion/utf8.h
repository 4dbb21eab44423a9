// UTF-8 sequences and UTF-16 units, for file names on Windows and for text
// shown in the windows.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace convert {

/// The code point of the UTF-8 sequence at `bytes[at]`, in its shortest
/// form and at most U+10FFFF, surrogates included; returns the sequence's
/// length, or 0 when the bytes there are no such sequence.
std::size_t decode_utf8(std::string_view bytes, std::size_t at, char32_t& code_point);

/// Appends `code_point` in UTF-16: one unit, or a surrogate pair.
void append_utf16(std::u16string& text, char32_t code_point);

}  // namespace convert
