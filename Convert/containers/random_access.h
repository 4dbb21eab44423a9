// Bytes read at any offset, as a container's directory and parts are: a
// workbook file, or memory in tests and the fuzzer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "sources/byte_source.h"

namespace convert {

/// The little-endian integers a container's records hold, at `p`.
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

/// Bytes that can be read at any offset: a workbook file.
class RandomAccessSource {
public:
    virtual ~RandomAccessSource() = default;
    virtual std::uint64_t size() const = 0;
    /// Reads exactly `size` bytes from `offset`; throws ReadError when it cannot.
    virtual void read_at(std::uint64_t offset, char* into, std::size_t size) = 0;
};

/// A RandomAccessSource over bytes in memory, which must outlive it.
class MemoryRandomAccess : public RandomAccessSource {
public:
    explicit MemoryRandomAccess(std::string_view bytes) : bytes_(bytes) {}
    std::uint64_t size() const override { return bytes_.size(); }
    void read_at(std::uint64_t offset, char* into, std::size_t size) override {
        if (offset > bytes_.size() || size > bytes_.size() - offset) {
            throw ReadError("Read past the end of the data.");
        }
        if (size != 0) std::memcpy(into, bytes_.data() + offset, size);
    }

private:
    std::string_view bytes_;
};

}  // namespace convert
