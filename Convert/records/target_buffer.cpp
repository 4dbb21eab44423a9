#include "records/target_buffer.h"

#include <algorithm>
#include <cstring>

namespace convert {

namespace {
/// Small targets are small files: they need no full block.
constexpr std::size_t kFirstCapacity = 64 * 1024;
}  // namespace

TargetBuffer::TargetBuffer(TargetSink& sink, std::size_t block_size)
    : sink_(sink),
      block_size_(std::max<std::size_t>(block_size, 1)),
      data_(std::make_unique_for_overwrite<char[]>(std::min(block_size_, kFirstCapacity) + kSpare)),
      capacity_(std::min(block_size_, kFirstCapacity)) {}

char* TargetBuffer::extend(std::size_t size) {
    if (size > capacity_ - size_) {
        if (capacity_ < block_size_ && size_ + size <= block_size_) {
            grow(std::min(block_size_, std::max(capacity_ * 2, size_ + size)));
        } else {
            flush();
            if (size > capacity_) grow(size);
        }
    }
    char* at = data_.get() + size_;
    size_ += size;
    return at;
}

void TargetBuffer::grow(std::size_t capacity) {
    auto larger = std::make_unique_for_overwrite<char[]>(capacity + kSpare);
    if (size_ != 0) std::memcpy(larger.get(), data_.get(), size_);
    data_ = std::move(larger);
    capacity_ = capacity;
}

void TargetBuffer::append(std::string_view text) {
    if (!text.empty()) std::memcpy(extend(text.size()), text.data(), text.size());
}

void TargetBuffer::flush() {
    if (size_ != 0 && !abandoned_) sink_.write({data_.get(), size_});
    size_ = 0;
}

void TargetBuffer::abandon() {
    if (!abandoned_) sink_.abandon();
    abandoned_ = true;
    size_ = 0;
}

}  // namespace convert
