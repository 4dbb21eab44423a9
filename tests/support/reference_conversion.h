// A slow, literal conversion for checking the fast one, written from the
// rules alone and sharing no code with the program: its own column table,
// trimming, padding, upper-casing and message text. It appends the end
// sentinel, walks the content line by line and looks up every field of every
// line by scanning the header and the line afresh, as the field procedures
// G_GET_FIELD, G_PADR and G_CHECK_LEN describe.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace reference {

enum class Result { converted, values_too_long, no_known_column };

/// Fills `output` with the target content (built even when a check fails;
/// empty when the first line names no known column) and `messages` with the
/// over-length messages in order.
Result convert(std::string_view file_content, std::string& output,
               std::vector<std::string>& messages);

/// `text` filled with spaces on the right, or cut, to exactly `width` bytes.
std::string G_PADR(const std::string& text, int width);

/// The value of the column `name` in `line`, both lines ending in their
/// separator, without surrounding spaces and brought to `width` when it is
/// not 0; "" unpadded for a name the header lacks.
std::string G_GET_FIELD(const std::string& name, const std::string& header, const std::string& line,
                        int width, char separator);

}  // namespace reference
