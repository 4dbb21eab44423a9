#include "record_format.h"

#include <algorithm>
#include <cstring>

#include "field_procedures.h"

namespace convert {

namespace {

char* put(char* at, std::string_view text) {
    if (!text.empty()) std::memcpy(at, text.data(), text.size());
    return at + text.size();
}

}  // namespace

namespace {
/// Small targets are small files: they need no full block.
constexpr std::size_t kFirstCapacity = 64 * 1024;
}  // namespace

TargetBuffer::TargetBuffer(TargetSink& sink, std::size_t block_size)
    : sink_(sink),
      block_size_(std::max<std::size_t>(block_size, 1)),
      data_(std::make_unique_for_overwrite<char[]>(std::min(block_size_, kFirstCapacity))),
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
    auto larger = std::make_unique_for_overwrite<char[]>(capacity);
    if (size_ != 0) std::memcpy(larger.get(), data_.get(), size_);
    data_ = std::move(larger);
    capacity_ = capacity;
}

void TargetBuffer::append(std::string_view text) {
    put(extend(text.size()), text);
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

void append_record(TargetBuffer& out, std::string_view make, std::string_view model,
                   DataBlockValues fields, const DataBlockColumns& present) {
    std::size_t size = kRecordStart.size() + make.size() + kMakeToModel.size() + model.size() +
                       kModelToData.size() + kRecordEnd.size();
    for (std::size_t i = 0; i < kDataBlock.size(); ++i) {
        if (present[i]) size += static_cast<std::size_t>(kDataBlock[i].width);
    }
    char* p = out.extend(size);
    p = put(put(put(put(put(p, kRecordStart), make), kMakeToModel), model), kModelToData);
    for (std::size_t i = 0; i < kDataBlock.size(); ++i) {
        if (present[i]) {
            p = put_padded(p, fields[i], static_cast<std::size_t>(kDataBlock[i].width));
        }
    }
    put(p, kRecordEnd);
}

}  // namespace convert
