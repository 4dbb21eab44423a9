// The year list's entries: one per comma-separated file of a folder.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace convert {

/// "<name> - <date>" upper-cased; `date` is "yyyy-mm-dd".
std::string year_list_entry(std::string_view file_name, std::string_view date);

/// The entries for the ordinary files of `folder` (list_files) whose names
/// end in ".csv" in any letter case, in name order ignoring case.
std::vector<std::string> year_list_entries(const std::filesystem::path& folder);

}  // namespace convert
