// A source file's lines, read a block at a time: memory stays at one block,
// or at the longest line when a line is longer than a block.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

#include "byte_source.h"

namespace convert {

/// How many readable bytes follow every line SourceLines hands out, so that
/// lines may be scanned many bytes at a time past their end.
inline constexpr std::size_t kLinePadding = 64;

/// Divides a source into lines. A line ends at a CR, and the one byte after
/// the CR is skipped, taken to be the LF; the last line may end at the end of
/// the source instead. A UTF-8 byte-order mark at the start is skipped.
class SourceLines {
public:
    explicit SourceLines(ByteSource& source, std::size_t block_size = kBlockSize);

    /// Sets `line` to the next line without its CR and returns true, or
    /// returns false when the source has no byte left where a line would
    /// begin. `line` stays valid until the next call, and kLinePadding
    /// readable bytes follow it. Throws ReadError.
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
