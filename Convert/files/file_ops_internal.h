// What the portable file operations and the two platform files share, and
// nothing outside them needs.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "files/file_ops.h"

namespace convert {

/// The folder `path` lies in; "." for a bare name.
std::filesystem::path folder_of(const std::filesystem::path& path);

/// A fresh name, beside `target`, for this process's next temporary of it.
std::filesystem::path temporary_name(const std::filesystem::path& target);

/// Whether `name` has the form of a temporary of the target `target_name`
/// (".NAME.<pid>.<n>.tmp", NAME ignoring case); sets `pid` when it has.
bool is_temporary_of(std::string_view name, std::string_view target_name, std::uint64_t& pid);

/// Removes the temporaries of the target at `target` whose process no longer
/// runs; nothing else.
void remove_stale_temporaries(const std::filesystem::path& target);

// Convert's own reasons, where the system has none to give.
inline constexpr char kCutShort[] = "The file is shorter than when it was opened.";
inline constexpr char kNotAFile[] = "It is not a file.";
inline constexpr char kFolderInTheWay[] = "A folder has its name.";
inline constexpr char kReadOnly[] = "The file is read-only.";

/// Whether `name` matches `pattern`, where * stands for any characters and ?
/// for one, units compared by `same`.
template <typename Unit, typename Same>
bool wildcard_match(std::basic_string_view<Unit> pattern, std::basic_string_view<Unit> name,
                    Same same) {
    std::size_t at = 0, in = 0;
    std::size_t star = pattern.npos, resume = 0;  // the last * and where it took over
    while (in < name.size()) {
        if (at < pattern.size() && pattern[at] == Unit('*')) {
            star = at++;
            resume = in;
        } else if (at < pattern.size() &&
                   (pattern[at] == Unit('?') || same(pattern[at], name[in]))) {
            ++at;
            ++in;
        } else if (star != pattern.npos) {
            at = star + 1;
            in = ++resume;
        } else {
            return false;
        }
    }
    while (at < pattern.size() && pattern[at] == Unit('*')) ++at;
    return at == pattern.size();
}

/// A full Windows path in the form that no length limit applies to: drive
/// paths after "\\?\", shares after "\\?\UNC\"; others as they are.
std::wstring long_path_form(std::wstring_view full);

namespace platform {
// The parts each platform provides, for the portable file operations.
/// The names of `folder`'s entries as bytes, "." and ".." left out; fails at
/// `read` when the folder cannot be listed.
FileResult<std::vector<std::string>> entry_names(const std::filesystem::path& folder);
enum class EntryKind { none, file, other };
EntryKind entry_kind(const std::filesystem::path& path);
/// Opens the file at `path`, found already, for reading.
OpenedSource open_found(const std::filesystem::path& path);
/// Deletes the file if it can; whoever asks only wants it gone.
void delete_file(const std::filesystem::path& path);
std::uint64_t current_process_id();
/// Whether the temporary `path`, named after process `pid`, may still be in
/// that process's hands.
bool temporary_in_use(const std::filesystem::path& path, std::uint64_t pid);
/// Whether names `a` and `b` (bytes) are equal ignoring case as the
/// system's names ignore it: a-z on POSIX systems, Windows' own table there.
bool same_name(std::string_view a, std::string_view b);
/// Whether name `name` matches `pattern` (* any characters, ? one), letter
/// case ignored as same_name ignores it.
bool matches_pattern(std::string_view pattern, std::string_view name);
}  // namespace platform

}  // namespace convert
