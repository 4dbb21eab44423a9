// A source file's lines, read a block at a time: memory stays at one block,
// or at the longest line when a line is longer than a block.
#pragma once

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string_view>

namespace convert {

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

/// Divides a source into lines. A line ends at a CR, and the one byte after
/// the CR is skipped, taken to be the LF; the last line may end at the end of
/// the source instead. A UTF-8 byte-order mark at the start is skipped.
class SourceLines {
public:
    static constexpr std::size_t kDefaultBlockSize = 1 << 20;

    explicit SourceLines(ByteSource& source, std::size_t block_size = kDefaultBlockSize);

    /// Sets `line` to the next line without its CR and returns true, or
    /// returns false when the source has no byte left where a line would
    /// begin. `line` stays valid until the next call. Throws ReadError.
    bool next(std::string_view& line);

private:
    /// Reads more bytes after the unused ones, keeping those.
    void fill();

    ByteSource& source_;
    std::unique_ptr<char[]> buffer_;
    std::size_t capacity_;
    std::size_t begin_ = 0;    // first unused byte
    std::size_t scanned_ = 0;  // bytes before this hold no CR of the coming line
    std::size_t end_ = 0;
    bool skip_next_ = false;  // the byte after the last CR is yet to be skipped
    bool at_end_ = false;
    bool started_ = false;
};

}  // namespace convert
