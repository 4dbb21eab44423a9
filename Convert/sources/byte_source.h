// Where a source's bytes come from: a file, or memory in tests and the
// benchmark. Reading and writing go a block at a time; a workbook's
// container is read at any offset.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
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
    /// Whether the bytes read last end where their reader should stop and
    /// use them before it reads on.
    virtual bool at_boundary() const { return false; }
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
