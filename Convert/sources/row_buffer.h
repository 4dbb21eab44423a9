// A source's bytes not yet made into rows, read a block at a time. The
// buffer grows only to hold a row longer than a block, and never past the
// longest row with its line end. A Ctrl-Z that is the source's last byte (an
// old end-of-file mark) is dropped.
#pragma once

#include <cstddef>

#include "sources/byte_source.h"
#include "sources/padded_bytes.h"
#include "sources/row_source.h"

namespace convert {

class RowBuffer {
public:
    RowBuffer(ByteSource& source, std::size_t block_size);

    /// The bytes not yet used, followed by readable padding.
    const char* begin() const { return bytes_.data() + begin_; }
    const char* end() const { return bytes_.data() + end_; }
    std::size_t size() const { return end_ - begin_; }
    /// `size` bytes from `at`, within the buffer, as a padded view.
    PaddedView view(const char* at, std::size_t size) const {
        return bytes_.view(static_cast<std::size_t>(at - bytes_.data()), size);
    }
    /// Whether the source has no more bytes: the last of them are here.
    bool at_end() const { return at_end_; }

    /// Marks the bytes up to `to` used.
    void use_up_to(const char* to) { begin_ = static_cast<std::size_t>(to - bytes_.data()); }
    /// Reads more bytes after the unused ones, which it keeps (moving them
    /// to the front); false, having read nothing, when they fill the
    /// longest buffer a row may take. Throws ReadError.
    bool fill();

private:
    /// The most bytes a row takes: the longest row and its line end.
    static constexpr std::size_t kLargest = kLongestRow + 2;

    ByteSource& source_;
    PaddedBuffer bytes_;
    std::size_t begin_ = 0;  // where the unused bytes begin
    std::size_t end_ = 0;
    bool at_end_ = false;
    bool mark_held_ = false;  // an end-of-file mark follows end_, yet to be judged
};

}  // namespace convert
