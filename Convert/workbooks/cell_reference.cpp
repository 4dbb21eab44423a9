#include "workbooks/cell_reference.h"

#include <algorithm>
#include <charconv>

namespace convert {

std::string cell_name(std::size_t column, std::uint64_t row) {
    std::string letters;
    for (std::size_t n = column + 1; n > 0; n = (n - 1) / 26) {
        letters.insert(letters.begin(), static_cast<char>('A' + (n - 1) % 26));
    }
    return letters + std::to_string(row);
}

bool read_cell_name(std::string_view name, std::size_t& column, std::size_t& row) {
    std::size_t at = 0;
    column = 0;
    for (char c; at < name.size() && (c = static_cast<char>(name[at] & ~0x20)) >= 'A' && c <= 'Z';
         ++at) {
        if (at < 3) column = column * 26 + static_cast<std::size_t>(c - 'A' + 1);
    }
    if (at == 0) return false;
    column = at > 3 ? kSheetColumns : std::min(column - 1, kSheetColumns);
    const std::string_view digits = name.substr(at);
    std::size_t number = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (digits.empty() || error != std::errc{} || end != digits.data() + digits.size() ||
        number == 0) {
        return false;
    }
    row = number;
    return true;
}

}  // namespace convert
