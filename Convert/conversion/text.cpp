#include "text.h"

#include <algorithm>

namespace convert {

namespace {
char upper_char(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
}  // namespace

void upper_in_place(std::string& text) {
    std::transform(text.begin(), text.end(), text.begin(), upper_char);
}

std::string upper(std::string_view text) {
    std::string result(text);
    upper_in_place(result);
    return result;
}

bool equals_ignoring_case(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return upper_char(x) == upper_char(y);
           });
}

}  // namespace convert
