// The windows' year list: one entry per comma-separated file of the
// program's folder, each knowing its file, its shown text and its converted
// mark, and the run of a double-clicked entry as both windows make it.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "convert_file.h"

namespace convert {

struct YearEntry {
    std::string file_name;  // as the folder listing gave it, bytes
    std::string date;       // last modification, "yyyy-mm-dd"
    bool converted = false;

    /// The shown text: "<name> - <date>" upper-cased, after the converted
    /// mark "*" once the entry is converted.
    std::string label() const;
};

class YearList {
public:
    /// Lists the ordinary files of `folder` whose names end in ".csv" in any
    /// letter case, in name order ignoring case.
    explicit YearList(std::filesystem::path folder);

    const std::vector<YearEntry>& entries() const { return entries_; }

    /// The message that refuses a run of entry `index`, read from its shown
    /// text as the user sees it: "<name> is already converted" for a
    /// converted entry, "Invalid file name: <name>" unless it begins with
    /// "SPE", where <name> is the text's first 11 characters, trimmed.
    /// None when the entry may be converted.
    std::optional<std::string> refusal(std::size_t index) const;

    /// Converts the file of entry `index`, which refusal() let through, and
    /// marks the entry when the target was replaced. Over-long values and
    /// progress go to `report`; the closing message comes back.
    RunResult convert(std::size_t index, RunReport& report, const RunOptions& options = {});

private:
    std::filesystem::path folder_;
    std::vector<YearEntry> entries_;
};

}  // namespace convert
