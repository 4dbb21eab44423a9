// The conversion's file operations. Files are read and written as bytes,
// whole, with no transcoding. A name is looked up in its folder exactly first,
// then ignoring the case of a-z, since source and target names are matched
// without regard to letter case.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace convert {

/// The entry of `path`'s folder that `path` names: the exact name when it
/// exists, else the first name (in byte order) equal to it ignoring case.
/// Folders, devices and pipes are never found; an entry that cannot be
/// examined (a dangling link, say) is found, so that reading it fails.
std::optional<std::filesystem::path> find_file(const std::filesystem::path& path);

struct ReadResult {
    enum class Status { ok, not_found, failed };
    Status status = Status::failed;
    std::string content;  // the whole file when ok
    std::string error;    // the system's reason when failed
};

/// Reads the file `find_file(in_file)` names, whole.
ReadResult G_READ(const std::filesystem::path& in_file);

enum class SaveResult {
    saved,
    write_failed,    // the new content could not be written; nothing changed
    replace_failed,  // an existing file could not be replaced; it is unchanged
};

/// Replaces the file `in_file` (and an existing file whose name differs from
/// it only in case) by `in_data`, all or nothing: the data goes to a temporary
/// file in the same folder, is flushed to disk and then renamed over the
/// target. On failure the previous file is unchanged and no temporary file is
/// left behind.
SaveResult G_FILE_SAVE(const std::filesystem::path& in_file, std::string_view in_data);

/// Deletes the file `find_file(in_file)` names. True when there was none or
/// it was deleted.
bool G_FILE_DELETE(const std::filesystem::path& in_file);

}  // namespace convert
