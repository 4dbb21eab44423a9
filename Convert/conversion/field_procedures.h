// Comma-field addressing and the field procedures of the conversion.
//
// A header or data line is divided by every comma: field 0 runs from the
// start to the first comma, field k from just after the k-th comma to the
// next one. Text after the last comma is never a field, so callers append one
// "," to a line before they look into it. There is no quoting or escaping.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace convert {

inline constexpr std::size_t kNoColumn = static_cast<std::size_t>(-1);

/// Index of the first (leftmost) field of `header` equal to `name`, compared
/// byte for byte, or kNoColumn. Both are expected in upper case already.
std::size_t column_index(std::string_view header, std::string_view name);

/// Field `column` of `line`, without surrounding spaces; std::nullopt when the
/// line has fewer comma-closed fields.
std::optional<std::string_view> field_value(std::string_view line, std::size_t column);

/// Writes `text` filled with spaces on the right, or cut, to exactly `width`
/// bytes at `at`; returns the end. Data-block fields are at most five bytes
/// wide, so a plain loop beats a library call.
inline char* put_padded(char* at, std::string_view text, std::size_t width) {
    const std::size_t kept = text.size() < width ? text.size() : width;
    for (std::size_t i = 0; i < kept; ++i) *at++ = text[i];
    for (std::size_t i = kept; i < width; ++i) *at++ = ' ';
    return at;
}

/// `in_text` filled with spaces on the right, or cut, to exactly `in_len`
/// bytes ("" for 0). Throws std::invalid_argument for a negative in_len.
std::string G_PADR(std::string_view in_text, int in_len);

/// The value of the column named `in_field` in `in_line` (both lines end in
/// ","), without surrounding spaces, brought to `in_len` bytes when in_len is
/// not 0. A name the header lacks gives "" unpadded; a line that ends before
/// the column gives "" padded. Replaces in_field and in_header by their
/// upper-case forms in place.
std::string G_GET_FIELD(std::string& in_field, std::string& in_header, const std::string& in_line,
                        int in_len);

/// The message that reports a value longer than its permitted width.
std::string over_length_message(std::string_view make, std::string_view model,
                                std::string_view field, std::string_view value, int width);

using MessageFn = std::function<void(const std::string&)>;

/// True when the column's value fits `in_len`. Otherwise shows the
/// over-length message through `show_message` and returns false. Upper-cases
/// in_field and in_header in place, as G_GET_FIELD does.
bool G_CHECK_LEN(std::string& in_field, std::string& in_header, const std::string& in_line,
                 int in_len, const MessageFn& show_message);

}  // namespace convert
