// The conversion's file operations. Files are read and written as bytes, with
// no transcoding. A name is looked up in its folder exactly first, then
// ignoring the case of a-z, since source and target names are matched without
// regard to letter case. Every failure says why. The platform's part lives in
// file_ops_<platform>.cpp.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "records/target_buffer.h"
#include "sources/byte_source.h"

namespace convert {

/// A file name as the conversion's bytes, and back. On POSIX systems these
/// are the name's own bytes; on Windows the UTF-16 name in UTF-8, an unpaired
/// surrogate encoded like any other code point, so that every name maps to
/// bytes and back exactly.
std::string bytes_of(const std::filesystem::path& name);
std::filesystem::path path_of(std::string_view bytes);

/// The program's arguments after its name, as the system gave them.
std::vector<std::filesystem::path> program_arguments(int argc, char** argv);

/// Where a file operation failed, if it did.
enum class FileStep { none, find, read, write, replace };

/// What a file operation gives: its value when it succeeded; else the step
/// that failed and why, in the system's own words for its error ("No space
/// left on device") or in Convert's for a refusal of its own ("The file is
/// read-only."), and nothing after a plain "not found".
template <typename T>
struct FileResult {
    T value{};
    FileStep failed = FileStep::none;
    std::string reason = {};

    bool ok() const { return failed == FileStep::none; }
    static FileResult failure(FileStep step, std::string why) {
        return {T{}, step, std::move(why)};
    }
};

/// The system's own text for its error `code`: an errno value on POSIX
/// systems, a GetLastError one on Windows.
std::string system_reason(int code);

struct ListedFile {
    std::filesystem::path name;
    std::string date;  // last modification, local time, "yyyy-mm-dd"
};

/// The ordinary files of `folder`: no folders, hidden files (on POSIX
/// systems, names beginning with ".") or system files. A file that cannot be
/// examined (one removed meanwhile, say) is left out; a folder that cannot be
/// listed fails at `read`.
FileResult<std::vector<ListedFile>> list_files(const std::filesystem::path& folder);

/// The names, in name order ignoring case, of the ordinary files of
/// `folder` that `pattern` matches: `*` stands for any characters,
/// `?` for one, and letter case is ignored as the system's names ignore it.
/// Matched against long names only (never "SPE1999.csv~" by its short name
/// on Windows).
FileResult<std::vector<std::filesystem::path>> files_matching(const std::filesystem::path& folder,
                                                              const std::filesystem::path& pattern);

/// The entry of `path`'s folder that `path` names: the exact name when it
/// exists, else the first name (in byte order) equal to it ignoring case.
/// Folders, devices and pipes are never found; an entry that cannot be
/// examined (a dangling link, say) is found, so that reading it fails.
std::optional<std::filesystem::path> find_file(const std::filesystem::path& path);

/// An opened source: read from its first byte on (a CSV file), or at any
/// offset (a workbook).
class SourceBytes : public ByteSource, public RandomAccessSource {
public:
    /// Whether the bytes read may not be the file's as it was, or is, whole:
    /// its size or last write differs from when it was opened, or, read from
    /// its first byte to the end, fewer bytes came than it held.
    virtual bool changed() const = 0;
};

/// A source opened for reading: fails at `find` when there is none.
using OpenedSource = FileResult<std::unique_ptr<SourceBytes>>;

/// Opens the file `find_file(path)` names for reading from its first byte.
OpenedSource open_source(const std::filesystem::path& path);

/// What a save that succeeded has to tell.
struct Saved {
    /// Why the replaced file's own access rights could not be carried over
    /// to the new one, which then has its folder's; "" when they were, or
    /// there were none to carry.
    std::string access_not_kept;
};

/// How an AtomicFile saves.
struct SaveOptions {
    enum class Temporary { unnamed_where_possible, named };
    /// The steps of a save that the system may refuse: creating the new
    /// file, writing it, flushing it, naming an unnamed one (POSIX), giving
    /// it the old file's access list or permissions, renaming it over the
    /// old one keeping the old one's readers (Windows), and renaming it at all.
    enum class Step { create, write, flush, name, access, posix_rename, replace };

    Temporary temporary = Temporary::unnamed_where_possible;
    /// For tests: a step for which this answers true fails as the system
    /// would fail it.
    std::function<bool(Step)> refuse = {};
};

/// A new content for `target` that takes the target's place all at once on
/// commit, or not at all. Until then the target is untouched, and whatever
/// ends the writer early (abandon, destruction, the process being killed)
/// leaves the folder as it was: the bytes go to an unnamed file in the
/// target's folder where its file system allows one, else to a hidden
/// temporary ".NAME.<pid>.<n>.tmp" beside the target, which a later writer
/// for the same target removes once its process has gone.
class AtomicFile : public TargetSink {
public:
    using Options = SaveOptions;
    using Temporary = SaveOptions::Temporary;
    using Step = SaveOptions::Step;

    /// Removes the target's stale temporaries, then creates the new file.
    explicit AtomicFile(std::filesystem::path target, Options options = {});
    ~AtomicFile() override;
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    /// Appends `bytes`. Once creating or writing has failed the file is
    /// discarded at once, later bytes are dropped and commit fails.
    void write(std::string_view bytes) override;

    /// Discards the new file; the target stays as it was.
    void abandon() override;

    /// Flushes the new file to disk and renames it over the target, or over
    /// the file find_file gives for it (whose spelling it keeps), keeping that
    /// file's permissions. Fails at `write` when the new content could not be
    /// written (nothing changed), at `replace` when an existing file could not
    /// be replaced; then the old target is unchanged and the new file gone.
    FileResult<Saved> commit();

private:
#ifdef _WIN32
    using Handle = void*;  // a file HANDLE; null when none
    static constexpr Handle kNoHandle = nullptr;
#else
    using Handle = int;  // a file descriptor
    static constexpr Handle kNoHandle = -1;
#endif

    /// The file the new one takes the place of.
    struct Replaced {
        std::filesystem::path path;  // the target, as its folder spells it
        bool exists = false;
        std::string refusal = {};  // why it never lets itself be replaced (read-only, a folder)
        std::uint32_t kind = 0;    // what the system says of it: its mode, or attributes
    };

    bool open() const {
        return handle_ != kNoHandle;
    }
    bool refused(Step step) const {
        return options_.refuse && options_.refuse(step);
    }
    /// Why a step refused as the system would failed: the system's text for
    /// the error it gives then.
    static std::string refusal_reason();

    // The steps of a save, one file per platform; those that fail say why.
    void create();
    Replaced find_replaced() const;
    /// Gives the new file what it keeps of the old one: why its access
    /// rights could not be kept, or "".
    std::string keep_from(const Replaced& old);
    /// Brings the new file whole to disk, under a name.
    bool make_durable(const Replaced& old, std::string& reason);
    /// Puts the new file in old's place.
    bool put_in_place(const Replaced& old, std::string& reason);
    void discard();

    std::filesystem::path target_;
    Options options_;
    std::filesystem::path temporary_;  // empty while the file has no name
    Handle handle_ = kNoHandle;        // none once creating or writing failed
    std::string failure_;              // why creating or writing failed
    bool may_set_access_ = false;      // the handle may set the access list (Windows)
    std::string access_refusal_;       // why it may not though the old file has a list (Windows)
    std::uint64_t written_ = 0;        // bytes written
    std::uint64_t flushed_ = 0;        // bytes whose writing to disk has been started
    static constexpr std::uint64_t kWritebackStep = 8 << 20;
};

}  // namespace convert
