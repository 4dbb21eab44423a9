#include "run/source_names.h"

#include <algorithm>
#include <array>
#include <utility>

#include "text/ascii_text.h"

namespace convert {

namespace {

constexpr std::string_view kSourcePrefix = "SPE";
constexpr std::array<std::pair<std::string_view, SourceKind>, 3> kEndings = {{
    {".csv", SourceKind::csv},
    {".xlsx", SourceKind::xlsx},
    {".ods", SourceKind::ods},
}};

bool ends_with(std::string_view name, std::string_view ending) {
    return name.size() >= ending.size() &&
           equals_ignoring_case(name.substr(name.size() - ending.size()), ending);
}

}  // namespace

std::optional<SourceKind> source_kind_of(std::string_view name) {
    for (const auto& [ending, kind] : kEndings) {
        if (ends_with(name, ending)) return kind;
    }
    return std::nullopt;
}

bool is_listed_name(std::string_view name) {
    return source_kind_of(name).has_value();
}

bool is_source_name(std::string_view name) {
    return equals_ignoring_case(name.substr(0, kSourcePrefix.size()), kSourcePrefix);
}

bool is_yearly_source_name(std::string_view name) {
    return is_source_name(name) && std::any_of(kEndings.begin(), kEndings.end(), [&](auto& e) {
               return name.size() == kSourcePrefix.size() + 4 + e.first.size() &&
                      ends_with(name, e.first);
           });
}

std::string target_name_of(std::string_view source_name) {
    const std::size_t year = std::min(kSourcePrefix.size(), source_name.size());
    return "SP" + upper(source_name.substr(year, 4)) + ".TXT";
}

}  // namespace convert
