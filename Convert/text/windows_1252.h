// Windows-1252, the code page of Western Europe and the Americas, which most
// source files not in UTF-8 come in: its bytes and characters, both ways.
#pragma once

namespace convert {

/// The character byte `b` stands for. The five bytes the code page leaves
/// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for the control
/// characters of the same numbers, as Windows maps them.
char16_t from_windows_1252(unsigned char b);

/// The byte that stands for `c`, or -1 when none does.
int to_windows_1252(char32_t c);

}  // namespace convert
