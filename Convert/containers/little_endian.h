// The little-endian integers that containers' records hold.
#pragma once

#include <cstdint>

namespace convert {

/// The integer of 2, 4 or 8 bytes at `p`, its lowest byte first.
inline std::uint16_t u16(const char* p) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(p[0]) |
                                      static_cast<unsigned char>(p[1]) << 8);
}
inline std::uint32_t u32(const char* p) {
    return u16(p) | std::uint32_t{u16(p + 2)} << 16;
}
inline std::uint64_t u64(const char* p) {
    return u32(p) | std::uint64_t{u32(p + 4)} << 32;
}

}  // namespace convert
