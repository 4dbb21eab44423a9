#include "text/ascii_text.h"

#include <algorithm>

namespace convert {

namespace {
char upper_char(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
}  // namespace

std::string upper(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(), upper_char);
    return result;
}

bool less_ignoring_case(std::string_view a, std::string_view b) {
    auto key = [](char c) { return static_cast<unsigned char>(upper_char(c)); };
    const auto [in_a, in_b] = std::mismatch(a.begin(), a.end(), b.begin(), b.end(),
                                            [&](char x, char y) { return key(x) == key(y); });
    if (in_a != a.end() && in_b != b.end()) return key(*in_a) < key(*in_b);
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;
}

bool equals_ignoring_case(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return upper_char(x) == upper_char(y);
           });
}

}  // namespace convert
