// An .xlsx's table of shared strings, and Excel's escapes (_x000D_) that
// they and inline strings hold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "workbooks/xlsx/xlsx_package.h"

namespace convert::xlsx {

/// The most bytes the shared strings take, their text and index.
inline constexpr std::size_t kMaxSharedStrings = std::size_t{64} << 20;

/// Appends text to a string, its escapes decoded in place as they come
/// whole; an escape cut between two appends waits for the next. _xHHHH_
/// stands for the UTF-16 unit HHHH, for characters XML cannot hold, and
/// _x005F_ for an underscore that would otherwise begin one.
class EscapedText {
public:
    void begin(std::string& out) {
        out_ = &out;
        pending_ = out.size();
    }
    void append(std::string_view text) {
        out_->append(text);
        decode(false);
    }
    /// The text has ended: what waits is no escape.
    void finish() { decode(true); }

private:
    void decode(bool last);

    std::string* out_ = nullptr;
    std::size_t pending_ = 0;  // the first byte not decoded yet
    std::string scratch_;      // a decoded character
};

class SharedStrings {
public:
    /// Reads part `path` of `package`: each string's text, runs joined,
    /// phonetic runs left out, escapes decoded; at most kMaxSharedStrings.
    void read(Package& package, const std::string& path);
    std::size_t size() const { return ends_.size(); }
    std::string_view operator[](std::size_t index) const {
        const std::uint32_t start = index == 0 ? 0 : ends_[index - 1];
        return std::string_view(text_).substr(start, ends_[index] - start);
    }

private:
    std::string text_;  // the strings, one after another
    std::vector<std::uint32_t> ends_;
};

}  // namespace convert::xlsx
