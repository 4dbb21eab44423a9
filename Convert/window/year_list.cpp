#include "year_list.h"

#include <sys/stat.h>

#include <algorithm>
#include <system_error>

#include "text.h"

namespace convert {

namespace fs = std::filesystem;

std::string year_list_entry(std::string_view file_name, std::time_t modified) {
    std::tm local{};
    localtime_r(&modified, &local);
    char date[32];
    std::strftime(date, sizeof date, "%Y-%m-%d", &local);
    return upper(std::string(file_name) + " - " + date);
}

std::vector<std::string> year_list_entries(const fs::path& folder) {
    struct Found {
        std::string name;
        std::time_t modified;
    };
    std::vector<Found> found;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (name.front() == '.' || name.size() < 4 ||
            !equals_ignoring_case(std::string_view(name).substr(name.size() - 4), ".csv")) {
            continue;
        }
        struct stat st {};
        if (::stat(it->path().c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        found.push_back({std::move(name), st.st_mtime});
    }
    std::sort(found.begin(), found.end(),
              [](const Found& a, const Found& b) { return less_ignoring_case(a.name, b.name); });
    std::vector<std::string> entries;
    entries.reserve(found.size());
    for (const Found& f : found) entries.push_back(year_list_entry(f.name, f.modified));
    return entries;
}

}  // namespace convert
