// The windows' year list: one entry per comma-separated file or workbook of
// the program's folder, each knowing its file, its shown text and its converted
// mark.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "run/convert_file.h"

namespace convert {

struct YearEntry {
    std::filesystem::path file_name;  // as the folder listing gave it
    std::string date;                 // last modification, "yyyy-mm-dd"
    bool converted = false;

    /// The shown text: "<name> - <date>" upper-cased, after the converted
    /// mark "*" once the entry is converted.
    std::string label() const;
};

class YearList {
public:
    /// Lists the ordinary files of `folder` whose names end in ".csv",
    /// ".xlsx" or ".ods" in any letter case, in name order ignoring case.
    explicit YearList(std::filesystem::path folder);

    const std::vector<YearEntry>& entries() const { return entries_; }

    /// The message that refuses a run of entry `index`, read from its shown
    /// text as the user sees it: "<name> is already converted" for a
    /// converted entry, "Invalid file name: <name>" unless it begins with
    /// "SPE", where <name> is the text's first 11 characters, trimmed.
    /// None when the entry may be converted.
    std::optional<std::string> refusal(std::size_t index) const;

    /// The source file of entry `index`.
    SourceFile source(std::size_t index) const;
    /// Its name as messages give it: upper-cased, as its label shows it.
    std::string shown_name(std::size_t index) const;
    /// Marks entry `index` converted.
    void mark_converted(std::size_t index) { entries_.at(index).converted = true; }

private:
    std::filesystem::path folder_;
    std::vector<YearEntry> entries_;
};

}  // namespace convert
