// The conversion's text rules, byte by byte: one byte is one character, and
// only the ASCII letters a-z have an upper-case form, whatever the locale.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace convert {

/// Maps a-z to A-Z; every other byte stays as it is.
std::string upper(std::string_view text);

/// Removes leading and trailing space characters (0x20 only; tabs stay).
inline std::string_view trim_spaces(std::string_view text) {
    // Most values have no space at either end: one test for both.
    if (text.empty() || (text.front() != ' ' && text.back() != ' ')) return text;
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && text[first] == ' ') ++first;
    while (last > first && text[last - 1] == ' ') --last;
    return text.substr(first, last - first);
}

/// Whether `text` holds a byte above 0x7F. Reads 8 bytes at a time, up to
/// 7 past its end, which must be readable.
inline bool beyond_ascii(std::string_view text) {
    std::uint64_t bits = 0;
    for (std::size_t at = 0; at < text.size(); at += 8) {
        std::uint64_t bytes;
        std::memcpy(&bytes, text.data() + at, sizeof bytes);
        const std::size_t kept = text.size() - at;
        bits |= kept >= 8 ? bytes : bytes & ((std::uint64_t{1} << (8 * kept)) - 1);
    }
    return (bits & 0x8080808080808080) != 0;
}

/// Name order ignoring the case of a-z (bytes compared unsigned), the exact
/// bytes deciding between names that differ only in case.
bool less_ignoring_case(std::string_view a, std::string_view b);

/// Case-insensitive equality for a-z/A-Z; other bytes compare exactly.
bool equals_ignoring_case(std::string_view a, std::string_view b);

}  // namespace convert
