// Bytes that may be read past their end. Every view a PaddedBuffer hands out
// is followed by at least kPadding readable bytes, so that a value can be
// loaded 8 bytes at a time, and scanned 64 at a time, whatever its length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

#include "text/ascii_text.h"

namespace convert {

/// How many readable bytes follow every PaddedView.
inline constexpr std::size_t kPadding = 64;

/// A view of bytes followed by at least kPadding readable bytes: only a
/// PaddedBuffer hands one out, and the empty value, which is followed by
/// zero bytes.
class PaddedView {
public:
    constexpr PaddedView() = default;

    const char* data() const { return data_; }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    std::string_view bytes() const { return {data_, size_}; }
    operator std::string_view() const { return bytes(); }

    /// Its bytes from `at` (at most size()), `count` of them or as many as
    /// there are: followed by the rest of this view and its padding.
    constexpr PaddedView substr(std::size_t at, std::size_t count = std::string_view::npos) const {
        return {data_ + at, count < size_ - at ? count : size_ - at};
    }
    /// Without its leading and trailing spaces (0x20 only; tabs stay).
    PaddedView trimmed() const {
        const std::string_view kept = trim_spaces(bytes());
        return substr(static_cast<std::size_t>(kept.data() - data_), kept.size());
    }

private:
    friend class PaddedBuffer;
    static constexpr char kZeros[kPadding] = {};

    constexpr PaddedView(const char* data, std::size_t size) : data_(data), size_(size) {}

    const char* data_ = kZeros;
    std::size_t size_ = 0;
};

/// Bytes of a given capacity and the padding after them, zeroed, owned.
class PaddedBuffer {
public:
    PaddedBuffer() = default;
    explicit PaddedBuffer(std::size_t capacity) { reserve(capacity, 0); }

    char* data() { return bytes_.get(); }
    const char* data() const { return bytes_.get(); }
    std::size_t capacity() const { return capacity_; }

    /// Makes room for at least `capacity` bytes, keeping the first `kept`.
    /// Views handed out before are no longer valid once it grows.
    void reserve(std::size_t capacity, std::size_t kept) {
        if (bytes_ != nullptr && capacity <= capacity_) return;
        auto larger = std::make_unique<char[]>(capacity + kPadding);  // zeroed
        if (kept != 0) std::memcpy(larger.get(), bytes_.get(), kept);
        bytes_ = std::move(larger);
        capacity_ = capacity;
    }

    /// The `size` bytes from `offset`, which must lie within the capacity.
    PaddedView view(std::size_t offset, std::size_t size) const {
        return {bytes_.get() + offset, size};
    }

private:
    std::unique_ptr<char[]> bytes_;
    std::size_t capacity_ = 0;
};

/// Whether `text` holds a byte above 0x7F; reads it 8 bytes at a time.
inline bool beyond_ascii(PaddedView text) {
    std::uint64_t bits = 0;
    for (std::size_t at = 0; at < text.size(); at += 8) {
        std::uint64_t bytes;
        std::memcpy(&bytes, text.data() + at, sizeof bytes);
        const std::size_t kept = text.size() - at;
        bits |= kept >= 8 ? bytes : bytes & ((std::uint64_t{1} << (8 * kept)) - 1);
    }
    return (bits & 0x8080808080808080) != 0;
}
static_assert(kPadding >= sizeof(std::uint64_t), "a value is read 8 bytes at a time");

}  // namespace convert
