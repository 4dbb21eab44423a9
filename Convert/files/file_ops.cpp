#include "files/file_ops.h"

#include <algorithm>
#include <atomic>
#include <charconv>

#include "files/file_ops_internal.h"
#include "text/ascii_text.h"

namespace convert {

namespace fs = std::filesystem;

namespace {

/// Reads the decimal number that `text` starts with, up to `stop`.
bool read_number(std::string_view& text, char stop, std::uint64_t& number) {
    const char* end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, number);
    if (error != std::errc() || at == text.data() || at == end || *at != stop) return false;
    text.remove_prefix(static_cast<std::size_t>(at - text.data()) + 1);
    return true;
}

}  // namespace

std::optional<fs::path> find_file(const fs::path& path) {
    if (platform::entry_kind(path) == platform::EntryKind::file) return path;
    const std::string name = bytes_of(path.filename());
    const fs::path folder = folder_of(path);
    std::optional<std::string> best;
    for (const std::string& candidate : platform::entry_names(folder).value) {
        if (!platform::same_name(candidate, name) || candidate == name) continue;
        if (best && *best <= candidate) continue;
        if (platform::entry_kind(folder / path_of(candidate)) == platform::EntryKind::file) {
            best = candidate;
        }
    }
    if (!best) return std::nullopt;
    return folder / path_of(*best);
}

OpenedSource open_source(const fs::path& path) {
    const std::optional<fs::path> found = find_file(path);
    if (!found) return OpenedSource::failure(FileStep::find, "");
    return platform::open_found(*found);
}

FileResult<std::vector<fs::path>> files_matching(const fs::path& folder, const fs::path& pattern) {
    FileResult<std::vector<std::string>> names = platform::entry_names(folder);
    const std::string wanted = bytes_of(pattern);
    std::erase_if(names.value, [&](const std::string& name) {
        return !platform::matches_pattern(wanted, name) ||
               platform::entry_kind(folder / path_of(name)) != platform::EntryKind::file;
    });
    std::sort(names.value.begin(), names.value.end(), less_ignoring_case);
    FileResult<std::vector<fs::path>> files{{}, names.failed, names.reason};
    for (const std::string& name : names.value) files.value.push_back(path_of(name));
    return files;
}

std::wstring long_path_form(std::wstring_view full) {
    if (full.starts_with(L"\\\\?\\") || full.starts_with(L"\\\\.\\")) return std::wstring(full);
    if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + std::wstring(full.substr(2));
    if (full.size() >= 3 && full[1] == L':' && full[2] == L'\\') {
        return L"\\\\?\\" + std::wstring(full);
    }
    return std::wstring(full);
}

fs::path folder_of(const fs::path& path) {
    return path.has_parent_path() ? path.parent_path() : fs::path(".");
}

fs::path temporary_name(const fs::path& target) {
    static std::atomic<unsigned> counter{0};
    return folder_of(target) / path_of("." + bytes_of(target.filename()) + "." +
                                       std::to_string(platform::current_process_id()) + "." +
                                       std::to_string(counter++) + ".tmp");
}

bool is_temporary_of(std::string_view name, std::string_view target_name, std::uint64_t& pid) {
    if (name.size() < target_name.size() + 2 || name.front() != '.' ||
        !equals_ignoring_case(name.substr(1, target_name.size()), target_name) ||
        name[1 + target_name.size()] != '.') {
        return false;
    }
    name.remove_prefix(target_name.size() + 2);
    std::uint64_t counter = 0;
    return read_number(name, '.', pid) && read_number(name, '.', counter) &&
           equals_ignoring_case(name, "tmp");
}

void remove_stale_temporaries(const fs::path& target) {
    const std::string target_name = bytes_of(target.filename());
    const fs::path folder = folder_of(target);
    for (const std::string& name : platform::entry_names(folder).value) {
        std::uint64_t pid = 0;
        if (!is_temporary_of(name, target_name, pid)) continue;
        const fs::path temporary = folder / path_of(name);
        if (!platform::temporary_in_use(temporary, pid) &&
            platform::entry_kind(temporary) == platform::EntryKind::file) {
            // Another writer may have removed it first; either way it is gone.
            platform::delete_file(temporary);
        }
    }
}

AtomicFile::AtomicFile(fs::path target, Options options)
    : target_(std::move(target)), options_(std::move(options)) {
    remove_stale_temporaries(target_);
    create();
}

AtomicFile::~AtomicFile() {
    discard();
}

void AtomicFile::abandon() {
    discard();
}

FileResult<Saved> AtomicFile::commit() {
    const auto fail = [&](FileStep step, std::string reason) {
        discard();
        return FileResult<Saved>::failure(step, std::move(reason));
    };
    if (!open()) return fail(FileStep::write, failure_);
    // A file whose name differs only in case is the one replaced, and keeps
    // its spelling, as it does on systems that ignore case.
    const Replaced old = find_replaced();
    if (!old.refusal.empty()) return fail(FileStep::replace, old.refusal);
    FileResult<Saved> saved;
    saved.value.access_not_kept = keep_from(old);
    if (std::string reason; !make_durable(old, reason)) return fail(FileStep::write, reason);
    const FileStep replacing = old.exists ? FileStep::replace : FileStep::write;
    if (refused(Step::replace)) return fail(replacing, refusal_reason());
    if (std::string reason; !put_in_place(old, reason)) return fail(replacing, reason);
    return saved;
}

}  // namespace convert
