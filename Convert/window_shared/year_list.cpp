#include "window_shared/year_list.h"

#include <algorithm>

#include "files/file_ops.h"
#include "run/messages.h"
#include "run/source_names.h"
#include "text/ascii_text.h"

namespace convert {

namespace {

/// The source name a shown text stands for: its first 11 characters,
/// without surrounding spaces.
std::string_view name_in(std::string_view label) {
    return trim_spaces(trim_spaces(label).substr(0, 11));
}

}  // namespace

std::string YearEntry::label() const {
    return (converted ? "*" : "") + upper(bytes_of(file_name) + " - " + date);
}

YearList::YearList(std::filesystem::path folder) : folder_(std::move(folder)) {
    for (ListedFile& file : list_files(folder_).value) {
        if (is_listed_name(bytes_of(file.name))) {
            entries_.push_back({std::move(file.name), std::move(file.date)});
        }
    }
    std::sort(entries_.begin(), entries_.end(), [](const YearEntry& a, const YearEntry& b) {
        return less_ignoring_case(bytes_of(a.file_name), bytes_of(b.file_name));
    });
}

std::optional<std::string> YearList::refusal(std::size_t index) const {
    const std::string label = entries_.at(index).label();
    const std::string_view name = name_in(label);
    if (entries_[index].converted) return already_converted_message(name);
    if (!is_source_name(name)) return invalid_name_message(name);
    return std::nullopt;
}

SourceFile YearList::source(std::size_t index) const {
    return {folder_, entries_.at(index).file_name};
}

std::string YearList::shown_name(std::size_t index) const {
    return upper(bytes_of(entries_.at(index).file_name));
}

}  // namespace convert
