// Where a source's bytes come from: a file, or memory in tests and the
// benchmark. Reading and writing go a block at a time.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string_view>

namespace convert {

/// How many bytes a conversion reads, and gathers for writing, at a time.
inline constexpr std::size_t kBlockSize = 1 << 20;

/// Bytes from a file's first byte on.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    /// Reads up to `size` (> 0) bytes into `into`; returns 0 only at the end.
    /// Throws ReadError when the bytes cannot be read.
    virtual std::size_t read(char* into, std::size_t size) = 0;
    /// The number of bytes expected, for sizing buffers; 0 when unknown.
    virtual std::size_t size_hint() const { return 0; }
};

struct ReadError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

/// Bytes already in memory, handed out at most `block` at a time.
class MemorySource : public ByteSource {
public:
    explicit MemorySource(std::string_view bytes, std::size_t block = static_cast<std::size_t>(-1))
        : rest_(bytes), block_(block) {}
    std::size_t read(char* into, std::size_t size) override;
    std::size_t size_hint() const override { return rest_.size(); }

private:
    std::string_view rest_;
    std::size_t block_;
};

}  // namespace convert
