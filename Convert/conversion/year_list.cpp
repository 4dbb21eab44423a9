#include "year_list.h"

#include <algorithm>

#include "file_ops.h"
#include "text.h"

namespace convert {

std::string year_list_entry(std::string_view file_name, std::string_view date) {
    return upper(std::string(file_name) + " - " + std::string(date));
}

std::vector<std::string> year_list_entries(const std::filesystem::path& folder) {
    std::vector<ListedFile> files = list_files(folder);
    std::erase_if(files, [](const ListedFile& f) {
        return f.name.size() < 4 ||
               !equals_ignoring_case(std::string_view(f.name).substr(f.name.size() - 4), ".csv");
    });
    std::sort(files.begin(), files.end(), [](const ListedFile& a, const ListedFile& b) {
        return less_ignoring_case(a.name, b.name);
    });
    std::vector<std::string> entries;
    entries.reserve(files.size());
    for (const ListedFile& f : files) entries.push_back(year_list_entry(f.name, f.date));
    return entries;
}

}  // namespace convert
