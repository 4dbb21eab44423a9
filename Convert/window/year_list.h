// The year list's entries: one per comma-separated file of a folder.
#pragma once

#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace convert {

/// "<name> - yyyy-mm-dd" upper-cased, the date being `modified` in local time.
std::string year_list_entry(std::string_view file_name, std::time_t modified);

/// The entries for the ordinary, non-hidden files of `folder` whose names end
/// in ".csv" in any letter case, in name order ignoring case. A file that
/// cannot be examined (one removed meanwhile, say) is left out; a folder that
/// cannot be listed gives no entries.
std::vector<std::string> year_list_entries(const std::filesystem::path& folder);

}  // namespace convert
