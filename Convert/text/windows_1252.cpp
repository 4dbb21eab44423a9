#include "text/windows_1252.h"

#include <algorithm>
#include <array>

namespace convert {

namespace {

// Windows-1252 differs from Latin-1 only in 0x80-0x9F.
constexpr std::array<char16_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

}  // namespace

char16_t from_windows_1252(unsigned char b) {
    return b >= 0x80 && b < 0xA0 ? kHigh[b - 0x80] : char16_t{b};
}

int to_windows_1252(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<int>(c);
    const auto* found = std::find(kHigh.begin(), kHigh.end(), c);
    return found == kHigh.end() ? -1 : 0x80 + static_cast<int>(found - kHigh.begin());
}

}  // namespace convert
