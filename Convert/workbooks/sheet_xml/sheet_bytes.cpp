#include "workbooks/sheet_xml/sheet_bytes.h"

#include <algorithm>
#include <cstring>

namespace convert {

namespace {

constexpr std::size_t kBlock = 256 << 10;
/// The bytes kept before those not yet read, to tell "row>" across reads.
constexpr std::size_t kContext = 3;

/// The length of `bytes` up to and with the first `>` from `from` on where
/// a row may end: after "row" or "/", white space between; npos when there
/// is none.
std::size_t to_row_end(std::string_view bytes, std::size_t from) {
    for (std::size_t at = from; (at = bytes.find('>', at)) != std::string_view::npos; ++at) {
        std::size_t before = at;
        while (before > 0 && (bytes[before - 1] == ' ' || bytes[before - 1] == '\t' ||
                              bytes[before - 1] == '\n' || bytes[before - 1] == '\r')) {
            --before;
        }
        if ((before > 0 && bytes[before - 1] == '/') ||
            (before >= 3 && bytes.substr(before - 3, 3) == "row")) {
            return at + 1;
        }
    }
    return std::string_view::npos;
}

}  // namespace

std::string_view SheetBytes::ahead(std::size_t size) {
    while (end_ - at_ < size && !ended_) {
        if (at_ > kContext) {
            const std::size_t from = at_ - kContext;
            std::memmove(window_.data(), window_.data() + from, end_ - from);
            end_ -= from;
            at_ = kContext;
        }
        window_.resize(std::max({window_.size(), size + kContext, kBlock}));
        const std::size_t n = input_->read(window_.data() + end_, window_.size() - end_);
        ended_ = n == 0;
        end_ += n;
    }
    return {window_.data() + at_, end_ - at_};
}

void SheetBytes::read_to_end() {
    at_ = end_ = 0;
    window_.resize(kBlock);
    while (!ended_) ended_ = input_->read(window_.data(), window_.size()) == 0;
}

std::size_t SheetBytes::read(char* into, std::size_t size) {
    std::string_view bytes = ahead(1);
    bytes = bytes.substr(0, size);
    if (by_rows_) {
        // White space between "row" and '>' may outrun the bytes kept: that
        // '>' is taken for none, and the parser only reads on.
        const std::size_t context = std::min(at_, kContext);
        const std::size_t cut =
            to_row_end({bytes.data() - context, bytes.size() + context}, context);
        boundary_ = cut != std::string_view::npos;
        bytes = bytes.substr(0, boundary_ ? cut - context : bytes.size());
    }
    std::memcpy(into, bytes.data(), bytes.size());
    at_ += bytes.size();
    return bytes.size();
}

}  // namespace convert
