// The sources the benchmark converts, made once and kept in a folder of
// its own under the system's temporary folder until the benchmark ends.
#pragma once

#include <filesystem>
#include <string>

namespace bench {

/// How a benchmark source is written.
enum Shape : long {
    kCrLf,    // CR LF line ends, nothing quoted
    kQuoted,  // every field in quotes, as "quote all text" exports give
    kLf,      // LF line ends
    kNotes,   // a NOTES column after the rest, every other one quoted and holding a CR LF
    kUtf8,    // makes with accents, in UTF-8
};

/// The folder the sources are made in.
const std::filesystem::path& work_folder();

/// A folder holding SPE2019.CSV with `lines` data lines of realistic values
/// under the full header, written as `shape` says. `scale` > 1 adds an
/// unread REMARK column after MODEL that makes each line about `scale`
/// times as long.
std::filesystem::path source_folder(long lines, long scale = 1, Shape shape = kCrLf);

/// The source in `folder`.
std::filesystem::path source_of(const std::filesystem::path& folder);

/// A folder holding SPE2019.CSV made of `header`, a line end, then `rows`
/// copies of `row`, each `row_end` after it.
std::filesystem::path hostile_folder(const std::string& name, const std::string& header,
                                     const std::string& row, long rows, const std::string& row_end);

enum class Workbook { xlsx, ods };

/// A folder holding SPE2019.xlsx or SPE2019.ods whose first sheet holds the
/// values of source_folder(lines), numbers as numbers.
std::filesystem::path workbook_folder(long lines, Workbook kind);

}  // namespace bench
