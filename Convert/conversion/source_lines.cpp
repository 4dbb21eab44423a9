#include "source_lines.h"

#include <algorithm>
#include <cstring>

namespace convert {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

/// A block, or less for a source known to be smaller: one byte more than the
/// source, so that its end is seen without a second, larger buffer.
std::size_t buffer_size(const ByteSource& source, std::size_t block_size) {
    const std::size_t hint = source.size_hint();
    const std::size_t size = hint != 0 && hint < block_size ? hint + 1 : block_size;
    return std::max<std::size_t>(size, 1);
}

}  // namespace

SourceLines::SourceLines(ByteSource& source, std::size_t block_size)
    : source_(source),
      buffer_(std::make_unique<char[]>(buffer_size(source, block_size) + kLinePadding)),
      capacity_(buffer_size(source, block_size)) {}

bool SourceLines::next(std::string_view& line) {
    if (!started_) {
        // A byte-order mark ("CSV UTF-8") is read as if it were not there.
        started_ = true;
        while (end_ < kByteOrderMark.size() && !at_end_) fill();
        if (std::string_view(buffer_.get(), end_).starts_with(kByteOrderMark)) {
            begin_ = scanned_ = kByteOrderMark.size();
        }
    }
    for (;;) {
        if (skip_next_ && begin_ != end_) {
            skip_next_ = false;
            scanned_ = ++begin_;
        }
        if (!skip_next_) {
            const char* const base = buffer_.get();
            const void* cr = std::memchr(base + scanned_, '\r', end_ - scanned_);
            if (cr != nullptr) {
                const std::size_t at =
                    static_cast<std::size_t>(static_cast<const char*>(cr) - base);
                line = std::string_view(base + begin_, at - begin_);
                begin_ = scanned_ = at + 1;
                skip_next_ = true;
                return true;
            }
            scanned_ = end_;
            if (at_end_) {
                if (begin_ == end_) return false;
                line = std::string_view(base + begin_, end_ - begin_);
                begin_ = scanned_ = end_;
                return true;
            }
        } else if (at_end_) {
            return false;
        }
        fill();
    }
}

void SourceLines::fill() {
    const std::size_t kept = end_ - begin_;
    if (kept == capacity_) {
        // One line fills the whole buffer: make room for the rest of it.
        const std::size_t larger = capacity_ * 2;
        auto grown = std::make_unique<char[]>(larger + kLinePadding);
        std::memcpy(grown.get(), buffer_.get() + begin_, kept);
        buffer_ = std::move(grown);
        capacity_ = larger;
    } else if (begin_ != 0) {
        std::memmove(buffer_.get(), buffer_.get() + begin_, kept);
    }
    scanned_ -= begin_;
    begin_ = 0;
    end_ = kept;
    const std::size_t n = source_.read(buffer_.get() + end_, capacity_ - end_);
    end_ += n;
    at_end_ = n == 0;
}

}  // namespace convert
