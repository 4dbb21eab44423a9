// Where a target's bytes go as they are built, a block at a time.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "sources/byte_source.h"

namespace convert {

/// Takes a target's bytes in order.
class TargetSink {
public:
    virtual ~TargetSink() = default;
    virtual void write(std::string_view bytes) = 0;
    /// The target will never be complete: what was written is of no use.
    virtual void abandon() = 0;
};

/// Gathers a target's bytes and passes them on to its sink a block at a
/// time. Memory grows from a small start to one block, or to the largest
/// record when a record is larger than a block.
class TargetBuffer {
public:
    explicit TargetBuffer(TargetSink& sink, std::size_t block_size = kBlockSize);

    /// The next `size` bytes to write; valid until the next call. Up to
    /// kSpare bytes past them may be written too: what follows overwrites
    /// them.
    char* extend(std::size_t size);
    static constexpr std::size_t kSpare = 32;
    void append(std::string_view text);
    /// Passes every byte gathered so far on to the sink.
    void flush();
    /// Drops the gathered bytes and abandons the sink; later bytes are
    /// dropped too.
    void abandon();

private:
    void grow(std::size_t capacity);

    TargetSink& sink_;
    std::size_t block_size_;
    std::unique_ptr<char[]> data_;
    std::size_t capacity_;
    std::size_t size_ = 0;
    bool abandoned_ = false;
};

/// Keeps a whole target in memory.
class StringSink : public TargetSink {
public:
    std::string bytes;
    void write(std::string_view more) override { bytes.append(more); }
    void abandon() override { bytes.clear(); }
};

/// Drops every byte: a run that only checks.
class NullSink : public TargetSink {
public:
    void write(std::string_view) override {}
    void abandon() override {}
};

}  // namespace convert
