// The conversion's file operations. Files are read and written as bytes, with
// no transcoding. A name is looked up in its folder exactly first, then
// ignoring the case of a-z, since source and target names are matched without
// regard to letter case. The platform's part lives in file_ops_<platform>.cpp.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "source_lines.h"

namespace convert {

/// A file name as the conversion's bytes, and back. On POSIX systems these
/// are the name's own bytes; on Windows the UTF-16 name in UTF-8, an unpaired
/// surrogate encoded like any other code point, so that every name maps to
/// bytes and back exactly.
std::string bytes_of(const std::filesystem::path& name);
std::filesystem::path path_of(std::string_view bytes);

/// The program's arguments after its name, as bytes in the same mapping.
std::vector<std::string> program_arguments(int argc, char** argv);

struct ListedFile {
    std::string name;  // as bytes
    std::string date;  // last modification, local time, "yyyy-mm-dd"
};

/// The ordinary files of `folder`: no folders, hidden files (on POSIX
/// systems, names beginning with ".") or system files. A file that cannot be
/// examined (one removed meanwhile, say) is left out; a folder that cannot be
/// listed gives none.
std::vector<ListedFile> list_files(const std::filesystem::path& folder);

/// The entry of `path`'s folder that `path` names: the exact name when it
/// exists, else the first name (in byte order) equal to it ignoring case.
/// Folders, devices and pipes are never found; an entry that cannot be
/// examined (a dangling link, say) is found, so that reading it fails.
std::optional<std::filesystem::path> find_file(const std::filesystem::path& path);

struct OpenedSource {
    enum class Status { ok, not_found, failed };
    Status status = Status::failed;
    std::unique_ptr<ByteSource> file;  // when ok
    std::string error;                 // the system's reason when failed
};

/// Opens the file `find_file(in_file)` names for reading from its first byte.
OpenedSource G_READ(const std::filesystem::path& in_file);

enum class SaveResult {
    saved,
    write_failed,    // the new content could not be written; nothing changed
    replace_failed,  // an existing file could not be replaced; it is unchanged
};

/// A new content for `target` that takes the target's place all at once on
/// commit, or not at all. Until then the target is untouched, and whatever
/// ends the writer early (abandon, destruction, the process being killed)
/// leaves the folder as it was: the bytes go to an unnamed file in the
/// target's folder where its file system allows one, else to a hidden
/// temporary ".NAME.<pid>.<n>.tmp" beside the target, which a later writer
/// for the same target removes once its process has gone.
class AtomicFile {
public:
    enum class Temporary { unnamed_where_possible, named };

    /// Removes the target's stale temporaries, then creates the new file.
    explicit AtomicFile(std::filesystem::path target,
                        Temporary temporary = Temporary::unnamed_where_possible);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    /// Appends `bytes`. False once creating or writing has failed: the file
    /// is then discarded at once and later appends are ignored.
    bool append(std::string_view bytes);

    /// Flushes the new file to disk and renames it over the target (and
    /// removes an old target whose name differs only in case), keeping an
    /// existing target's permissions. On failure the old target is unchanged
    /// and the new file is gone.
    SaveResult commit();

    /// Discards the new file; the target stays as it was.
    void abandon();

    /// Whether the new file has no name yet (tests; false once discarded).
    bool unnamed() const { return open() && temporary_.empty(); }

private:
    bool open() const { return handle_ != kNoHandle; }
    void create(Temporary temporary);
    /// Gives an unnamed file its temporary name; false on failure (POSIX).
    bool name_temporary();
    bool flush_and_close();
    void discard();

    static constexpr std::intptr_t kNoHandle = -1;
    std::filesystem::path target_;
    std::filesystem::path temporary_;  // empty while the file has no name
    std::intptr_t handle_ = kNoHandle;
    bool failed_ = false;
};

/// Replaces the file `in_file` (or one whose name differs only in case) by
/// `in_data`, all or nothing, through an AtomicFile.
SaveResult G_FILE_SAVE(const std::filesystem::path& in_file, std::string_view in_data);

/// Deletes the file `find_file(in_file)` names. True when there was none or
/// it was deleted.
bool G_FILE_DELETE(const std::filesystem::path& in_file);

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

namespace platform {
// The parts each platform provides, for the portable file operations.
enum class EntryKind { none, file, other };
EntryKind entry_kind(const std::filesystem::path& path);
/// Opens the file at `path`, found already, for reading: ok or failed.
OpenedSource open_source(const std::filesystem::path& path);
bool delete_file(const std::filesystem::path& path);
std::uint64_t current_process_id();
bool process_running(std::uint64_t pid);
}  // namespace platform

}  // namespace convert
