#include "run/source_names.h"

#include <algorithm>

#include "text/ascii_text.h"

namespace convert {

namespace {
constexpr std::string_view kSourcePrefix = "SPE";
constexpr std::string_view kCsv = ".csv";
}  // namespace

bool is_csv_name(std::string_view name) {
    return name.size() >= kCsv.size() &&
           equals_ignoring_case(name.substr(name.size() - kCsv.size()), kCsv);
}

bool is_source_name(std::string_view name) {
    return equals_ignoring_case(name.substr(0, kSourcePrefix.size()), kSourcePrefix);
}

bool is_yearly_source_name(std::string_view name) {
    return name.size() == kSourcePrefix.size() + 4 + kCsv.size() && is_source_name(name) &&
           is_csv_name(name);
}

std::string target_name_of(std::string_view source_name) {
    const std::size_t year = std::min(kSourcePrefix.size(), source_name.size());
    return "SP" + upper(source_name.substr(year, 4)) + ".TXT";
}

}  // namespace convert
