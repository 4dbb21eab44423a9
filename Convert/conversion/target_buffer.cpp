#include "target_buffer.h"

#include <algorithm>
#include <cstring>

namespace convert {

namespace {
/// Small targets are small files: they need no full block.
constexpr std::size_t kFirstCapacity = 64 * 1024;
}  // namespace

TargetBuffer::TargetBuffer(TargetSink& sink, std::size_t block_size)
    : sink_(sink), block_size_(std::max<std::size_t>(block_size, 1)) {
    grow(std::min(block_size_, kFirstCapacity));
}

TargetBuffer::~TargetBuffer() {
    // The sink may still be writing from a block of this buffer.
    sink_.finish();
}

char* TargetBuffer::extend(std::size_t size) {
    if (size > current_.capacity - size_) {
        if (current_.capacity < block_size_ && size_ + size <= block_size_) {
            grow(std::min(block_size_, std::max(current_.capacity * 2, size_ + size)));
        } else {
            flush();
            if (size > current_.capacity) grow(size);
        }
    }
    char* at = current_.data.get() + size_;
    size_ += size;
    return at;
}

void TargetBuffer::grow(std::size_t capacity) {
    Block larger{std::make_unique_for_overwrite<char[]>(capacity + kSpare), capacity};
    if (size_ != 0) std::memcpy(larger.data.get(), current_.data.get(), size_);
    current_ = std::move(larger);
}

void TargetBuffer::append(std::string_view text) {
    if (!text.empty()) std::memcpy(extend(text.size()), text.data(), text.size());
}

void TargetBuffer::flush() {
    if (size_ != 0 && !abandoned_) {
        sink_.write({current_.data.get(), size_});
        // The next bytes go to the other block while the sink writes this one.
        std::swap(current_, written_);
        if (current_.capacity < written_.capacity) {
            current_ = {std::make_unique_for_overwrite<char[]>(written_.capacity + kSpare),
                        written_.capacity};
        }
    }
    size_ = 0;
}

void TargetBuffer::finish() {
    flush();
    if (!abandoned_) sink_.finish();
}

void TargetBuffer::abandon() {
    if (!abandoned_) sink_.abandon();
    abandoned_ = true;
    size_ = 0;
}

}  // namespace convert
