// A sheet part's bytes as its XML parser reads them, held in a window that
// a reader of the usual rows can look at first and pass over.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "sources/byte_source.h"

namespace convert {

class SheetBytes final : public ByteSource {
public:
    explicit SheetBytes(std::unique_ptr<ByteSource> input) : input_(std::move(input)) {}

    std::size_t read(char* into, std::size_t size) override;
    /// By rows: the bytes read last end where a row may end.
    bool at_boundary() const override { return boundary_; }

    /// From now on, reads end at each place where a row may end (a `>` after
    /// "row" or "/"), so that the parser can be paused there holding nothing.
    void by_rows() { by_rows_ = true; }
    /// The bytes not yet read, at least `size` of them unless the input ends first.
    std::string_view ahead(std::size_t size);
    /// Passes over `size` bytes of ahead()'s.
    void skip(std::size_t size) { at_ += size; }
    /// Reads the input to its end, unparsed: only there does the archive
    /// check a part whole (its size and CRC-32).
    void read_to_end();

private:
    std::unique_ptr<ByteSource> input_;
    std::string window_;   // bytes of the input,
    std::size_t at_ = 0;   // of which those before this have been read,
    std::size_t end_ = 0;  // and those from this on are not yet in
    bool ended_ = false;   // the input has ended
    bool by_rows_ = false;
    bool boundary_ = false;
};

}  // namespace convert
