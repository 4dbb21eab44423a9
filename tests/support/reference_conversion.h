// A slow, literal conversion for checking the fast one: it appends the end
// sentinel, walks the content line by line and calls G_CHECK_LEN and
// G_GET_FIELD for every field of every line, scanning each line afresh.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace testing_support {

/// Fills `output` with the target content (built even when a check fails)
/// and `messages` with the over-length messages; returns whether all fit.
bool reference_convert(std::string_view file_content, std::string& output,
                       std::vector<std::string>& messages);

}  // namespace testing_support
