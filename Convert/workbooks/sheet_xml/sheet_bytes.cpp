#include "workbooks/sheet_xml/sheet_bytes.h"

#include <algorithm>
#include <cstring>

namespace convert {

namespace {

constexpr std::size_t kBlock = 256 << 10;

/// The length of `bytes` up to and with the first `>` where a row may end:
/// after "row" or "/", white space between; npos when there is none.
std::size_t to_row_end(std::string_view bytes) {
    for (std::size_t at = 0; (at = bytes.find('>', at)) != std::string_view::npos; ++at) {
        std::size_t before = at;
        while (before > 0 && (bytes[before - 1] == ' ' || bytes[before - 1] == '\t' ||
                              bytes[before - 1] == '\n' || bytes[before - 1] == '\r')) {
            --before;
        }
        // The start of the bytes read may cut "row": such a '>' ends the next read.
        if ((before > 0 && bytes[before - 1] == '/') ||
            (before >= 3 && bytes.substr(before - 3, 3) == "row") || before < 3) {
            return at + 1;
        }
    }
    return std::string_view::npos;
}

}  // namespace

std::string_view SheetBytes::ahead(std::size_t size) {
    while (end_ - at_ < size && !ended_) {
        if (at_ > 0) {
            std::memmove(window_.data(), window_.data() + at_, end_ - at_);
            end_ -= at_;
            at_ = 0;
        }
        window_.resize(std::max({window_.size(), size, kBlock}));
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
        const std::size_t cut = to_row_end(bytes);
        boundary_ = cut != std::string_view::npos;
        bytes = bytes.substr(0, cut);
    }
    std::memcpy(into, bytes.data(), bytes.size());
    at_ += bytes.size();
    return bytes.size();
}

}  // namespace convert
