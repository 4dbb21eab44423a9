// The conversion's text rules, byte by byte: one byte is one character, and
// only the ASCII letters a-z have an upper-case form, whatever the locale.
#pragma once

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

/// Name order ignoring the case of a-z (bytes compared unsigned), the exact
/// bytes deciding between names that differ only in case.
bool less_ignoring_case(std::string_view a, std::string_view b);

/// Case-insensitive equality for a-z/A-Z; other bytes compare exactly.
bool equals_ignoring_case(std::string_view a, std::string_view b);

}  // namespace convert
