#include "sources/row_buffer.h"

#include <algorithm>
#include <cstring>

namespace convert {

namespace {

/// An old end-of-file mark (Ctrl-Z), dropped when it is the file's last byte.
constexpr char kEndOfFileMark = '\x1A';

/// A block, or less for a source known to be smaller: one byte more than the
/// source, so that its end is seen without a second, larger buffer.
std::size_t first_capacity(const ByteSource& source, std::size_t block_size) {
    const std::size_t hint = source.size_hint();
    const std::size_t size = hint != 0 && hint < block_size ? hint + 1 : block_size;
    return std::max<std::size_t>(size, 1);
}

}  // namespace

RowBuffer::RowBuffer(ByteSource& source, std::size_t block_size)
    : source_(source), bytes_(first_capacity(source, block_size)) {}

bool RowBuffer::fill() {
    // An end-of-file mark read last stays out of sight until the next read
    // tells whether it is the file's last byte.
    const std::size_t kept = end_ - begin_ + (mark_held_ ? 1 : 0);
    if (kept == bytes_.capacity()) {
        // One row fills the whole buffer: make room for the rest of it.
        if (bytes_.capacity() >= kLargest) return false;
        PaddedBuffer larger(std::min(bytes_.capacity() * 2, kLargest));
        std::memcpy(larger.data(), begin(), kept);
        bytes_ = std::move(larger);
    } else if (begin_ != 0) {
        std::memmove(bytes_.data(), begin(), kept);
    }
    begin_ = 0;
    end_ = kept;
    const std::size_t n = source_.read(bytes_.data() + end_, bytes_.capacity() - end_);
    end_ += n;
    at_end_ = n == 0;
    mark_held_ = end_ != 0 && bytes_.data()[end_ - 1] == kEndOfFileMark;
    if (mark_held_) --end_;
    // Dropped at the end; kept with the bytes after it otherwise.
    mark_held_ = mark_held_ && !at_end_;
    return true;
}

}  // namespace convert
