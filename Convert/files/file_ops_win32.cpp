// The file operations on Windows: the wide-character API throughout, so that
// any name a folder holds can be listed, read and written, and every path in
// its long form ("\\?\"), so that no folder is too deep.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// After windows.h:
#include <aclapi.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "files/file_ops.h"
#include "files/file_ops_internal.h"
#include "text/utf8.h"

namespace convert {

namespace fs = std::filesystem;

namespace {

/// `path` made full and in its long form, for every wide call.
std::wstring long_path(const fs::path& path) {
    const std::wstring& given = path.native();
    if (given.starts_with(L"\\\\?\\")) return given;
    std::wstring full(given.size() + MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetFullPathNameW(given.c_str(), static_cast<DWORD>(full.size()),
                                           full.data(), nullptr);
        if (n == 0) return given;
        if (n < full.size()) {
            full.resize(n);
            return long_path_form(full);
        }
        full.resize(n);
    }
}

std::string error_text(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD n = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message(text != nullptr ? text : L"", n);
    if (text != nullptr) ::LocalFree(text);
    while (!message.empty() &&
           (message.back() == L'\r' || message.back() == L'\n' || message.back() == L' ')) {
        message.pop_back();
    }
    if (message.empty()) return "Error " + std::to_string(error) + ".";
    return bytes_of(fs::path(message));
}

/// What tells a file's content changed: its size and last write.
struct FileState {
    std::uint64_t size = 0;
    FILETIME written{};
    bool operator==(const FileState& other) const {
        return size == other.size && ::CompareFileTime(&written, &other.written) == 0;
    }
};

bool state_of(HANDLE file, FileState& state) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(file, &info)) return false;
    state.size = std::uint64_t{info.nFileSizeHigh} << 32 | info.nFileSizeLow;
    state.written = info.ftLastWriteTime;
    return true;
}

class FileSource : public SourceBytes {
public:
    FileSource(HANDLE file, const FileState& opened) : file_(file), opened_(opened) {}
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;
    ~FileSource() override { ::CloseHandle(file_); }

    std::uint64_t size() const override { return opened_.size; }
    void read_at(std::uint64_t offset, char* into, std::size_t size) override {
        while (size > 0) {
            OVERLAPPED at{};
            at.Offset = static_cast<DWORD>(offset);
            at.OffsetHigh = static_cast<DWORD>(offset >> 32);
            DWORD got = 0;
            const auto wanted = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
            if (!::ReadFile(file_, into, wanted, &got, &at)) {
                const DWORD error = ::GetLastError();
                if (error != ERROR_HANDLE_EOF) throw ReadError(error_text(error));
            }
            if (got == 0) throw ReadError(kCutShort);
            into += got;
            offset += got;
            size -= got;
        }
    }

    std::size_t read(char* into, std::size_t size) override {
        read_through_ = true;
        DWORD got = 0;
        const auto wanted = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
        if (!::ReadFile(file_, into, wanted, &got, nullptr))
            throw ReadError(error_text(::GetLastError()));
        read_ += got;
        return got;
    }
    std::size_t size_hint() const override { return static_cast<std::size_t>(opened_.size); }
    bool changed() const override {
        FileState now;
        return !state_of(file_, now) || !(now == opened_) ||
               (read_through_ && read_ != opened_.size);
    }

private:
    HANDLE file_;
    FileState opened_;
    std::uint64_t read_ = 0;
    bool read_through_ = false;  // read from its first byte on, not at offsets
};

/// Calls each(found) for every entry of `folder` but "." and "..", by the
/// folder's long form, so that no folder is too deep to list; why it cannot
/// be listed, or "".
template <typename Each>
std::string each_entry(const fs::path& folder, Each each) {
    WIN32_FIND_DATAW found{};
    // A long path takes no doubled separator, so a folder given as "C:\data\"
    // takes no second one.
    std::wstring pattern = long_path(folder);
    if (!pattern.ends_with(L'\\')) pattern += L'\\';
    pattern += L'*';
    HANDLE search = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found,
                                       FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) {
        // A drive's root has no "." entry: empty, it has none at all.
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND ? "" : error_text(error);
    }
    do {
        const std::wstring_view name = found.cFileName;
        if (name != L"." && name != L"..") each(found);
    } while (::FindNextFileW(search, &found));
    const DWORD error = ::GetLastError();
    ::FindClose(search);
    return error == ERROR_NO_MORE_FILES ? "" : error_text(error);
}

/// `name` (bytes) in UTF-16, as Windows compares names.
std::wstring wide_name(std::string_view name) {
    return path_of(name).native();
}

/// The file `target` names as its folder spells it (names match ignoring
/// case), or `target` when there is none.
fs::path spelled_as_found(const fs::path& target) {
    WIN32_FIND_DATAW found{};
    HANDLE search = ::FindFirstFileW(long_path(target).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return target;
    ::FindClose(search);
    return folder_of(target) / found.cFileName;
}

/// Another program (a virus scanner, an indexer, a sync client) may hold a
/// file open for a moment; these errors are worth a few more tries.
bool may_pass(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
           error == ERROR_ACCESS_DENIED;
}

/// Whether another program holds `path` open without letting it be deleted.
bool held_by_another(const fs::path& path) {
    HANDLE probe = ::CreateFileW(long_path(path).c_str(), DELETE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (probe == INVALID_HANDLE_VALUE) return true;
    ::CloseHandle(probe);
    return false;
}

/// FileRenameInfoEx, which these headers name only for newer targets.
constexpr auto kRenameInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22);

/// Renames the open file `file` to `to`, replacing a file there. POSIX
/// semantics first, where the system has them (Windows 10 1709 on), so that
/// readers of the old file keep it; the plain rename where they are refused
/// (or `refuse_posix` says to act as if).
bool rename_by_handle(HANDLE file, const fs::path& to, bool refuse_posix) {
    const std::wstring name = long_path(to);
    const std::size_t size = sizeof(FILE_RENAME_INFO) + name.size() * sizeof(wchar_t);
    auto buffer = std::make_unique<unsigned char[]>(size);
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.get());
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(name.size() * sizeof(wchar_t));
    std::copy(name.begin(), name.end(), info->FileName);
    info->FileName[name.size()] = L'\0';
    info->Flags = FILE_RENAME_FLAG_REPLACE_IF_EXISTS | FILE_RENAME_FLAG_POSIX_SEMANTICS;
    if (!refuse_posix &&
        ::SetFileInformationByHandle(file, kRenameInfoEx, info, static_cast<DWORD>(size))) {
        return true;
    }
    // Whatever the refusal (older systems, FAT, network redirectors that
    // know only the plain rename), the plain rename is tried once; its
    // answer is the one that counts.
    info->Flags = 0;
    info->ReplaceIfExists = TRUE;
    return ::SetFileInformationByHandle(file, FileRenameInfo, info, static_cast<DWORD>(size)) != 0;
}

/// The access entries set on a file itself, not those it inherits from its
/// folder (which a new file there inherits too), and whether it refuses
/// those of its folder.
struct OwnAccess {
    std::unique_ptr<unsigned char[]> acl;  // none when there is nothing to hand on
    bool is_protected = false;
    std::string unreadable;  // why the list could not be read, for a file that is there
};

OwnAccess own_access(const fs::path& path) {
    PACL acl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    OwnAccess own;
    const DWORD error =
        ::GetNamedSecurityInfoW(long_path(path).c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                nullptr, nullptr, &acl, nullptr, &descriptor);
    if (error != ERROR_SUCCESS) {
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
            own.unreadable = error_text(error);
        }
        return own;
    }
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ::GetSecurityDescriptorControl(descriptor, &control, &revision);
    own.is_protected = (control & SE_DACL_PROTECTED) != 0;
    bool any = false;
    ACL_SIZE_INFORMATION sizes{};
    if (acl != nullptr && ::GetAclInformation(acl, &sizes, sizeof sizes, AclSizeInformation)) {
        own.acl = std::make_unique<unsigned char[]>(sizes.AclBytesInUse);
        auto* explicit_acl = reinterpret_cast<PACL>(own.acl.get());
        if (::InitializeAcl(explicit_acl, sizes.AclBytesInUse, ACL_REVISION)) {
            for (DWORD i = 0; i < sizes.AceCount; ++i) {
                void* ace = nullptr;
                if (!::GetAce(acl, i, &ace)) continue;
                const auto* header = static_cast<const ACE_HEADER*>(ace);
                if (header->AceFlags & INHERITED_ACE) continue;
                any |= ::AddAce(explicit_acl, ACL_REVISION, MAXDWORD, ace, header->AceSize) != 0;
            }
        }
    }
    ::LocalFree(descriptor);
    if (!any && !own.is_protected) own.acl.reset();
    return own;
}

/// Gives the open file `file` the access list `own`; why it could not, or "".
std::string set_access(const OwnAccess& own, HANDLE file) {
    const DWORD error = ::SetSecurityInfo(
        file, SE_FILE_OBJECT,
        DACL_SECURITY_INFORMATION | (own.is_protected ? PROTECTED_DACL_SECURITY_INFORMATION
                                                      : UNPROTECTED_DACL_SECURITY_INFORMATION),
        nullptr, nullptr, reinterpret_cast<PACL>(own.acl.get()), nullptr);
    return error == ERROR_SUCCESS ? "" : error_text(error);
}

/// The attributes a replaced target hands on to the new one; never the
/// placeholder, offline, sparse, compressed or encrypted states of the old
/// file's data, nor hidden (which only the temporary had). The archive bit
/// is always set: the content is new, and backups that go by it must see so.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_ATTRIBUTE_SYSTEM;

}  // namespace

namespace platform {

FileResult<std::vector<std::string>> entry_names(const fs::path& folder) {
    FileResult<std::vector<std::string>> names;
    const std::string failed = each_entry(folder, [&](const WIN32_FIND_DATAW& found) {
        names.value.push_back(bytes_of(fs::path(found.cFileName)));
    });
    if (!failed.empty()) return decltype(names)::failure(FileStep::read, failed);
    return names;
}

EntryKind entry_kind(const fs::path& path) {
    const DWORD attributes = ::GetFileAttributesW(long_path(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
                       error == ERROR_INVALID_NAME
                   ? EntryKind::none
                   : EntryKind::file;
    }
    return attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE) ? EntryKind::other
                                                                           : EntryKind::file;
}

void delete_file(const fs::path& path) {
    ::DeleteFileW(long_path(path).c_str());
}

std::uint64_t current_process_id() {
    return ::GetCurrentProcessId();
}

bool same_name(std::string_view a, std::string_view b) {
    const std::wstring wide_a = wide_name(a), wide_b = wide_name(b);
    return ::CompareStringOrdinal(wide_a.data(), static_cast<int>(wide_a.size()), wide_b.data(),
                                  static_cast<int>(wide_b.size()), TRUE) == CSTR_EQUAL;
}

bool matches_pattern(std::string_view pattern, std::string_view name) {
    return wildcard_match<wchar_t>(wide_name(pattern), wide_name(name), [](wchar_t p, wchar_t n) {
        return ::CompareStringOrdinal(&p, 1, &n, 1, TRUE) == CSTR_EQUAL;
    });
}

bool temporary_in_use(const fs::path& path, std::uint64_t pid) {
    if (pid == 0 || pid > 0xFFFFFFFFu) return false;
    HANDLE process = ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                                   static_cast<DWORD>(pid));
    if (process == nullptr) return ::GetLastError() == ERROR_ACCESS_DENIED;
    bool in_use = ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    // Windows soon gives a gone process's number to another: one started
    // after the temporary was made cannot be its writer.
    FILETIME started{}, ended{}, kernel{}, user{};
    WIN32_FILE_ATTRIBUTE_DATA file{};
    if (in_use && ::GetProcessTimes(process, &started, &ended, &kernel, &user) &&
        ::GetFileAttributesExW(long_path(path).c_str(), GetFileExInfoStandard, &file)) {
        in_use = ::CompareFileTime(&started, &file.ftCreationTime) <= 0;
    }
    ::CloseHandle(process);
    return in_use;
}

}  // namespace platform

std::string bytes_of(const fs::path& name) {
    const std::wstring& wide = name.native();
    return utf8_of(
        std::u16string_view(reinterpret_cast<const char16_t*>(wide.data()), wide.size()));
}

fs::path path_of(std::string_view bytes) {
    // The inverse of bytes_of. Bytes that no name gives (not UTF-8) stand for
    // themselves, as Windows-1252 would read them one by one.
    std::u16string wide;
    wide.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        char32_t c = 0;
        const std::size_t length = decode_utf8(bytes, i, c);
        append_utf16(wide, length == 0 ? static_cast<unsigned char>(bytes[i]) : c);
        i += length == 0 ? 1 : length;
    }
    return fs::path(std::wstring(wide.begin(), wide.end()));
}

std::vector<fs::path> program_arguments(int, char**) {
    // The narrow arguments are in the ANSI code page, which cannot hold every
    // name: take the wide command line instead.
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    std::vector<fs::path> arguments;
    for (int i = 1; i < count; ++i) arguments.emplace_back(wide[i]);
    if (wide != nullptr) ::LocalFree(wide);
    return arguments;
}

std::string system_reason(int code) {
    return error_text(static_cast<DWORD>(code));
}

std::string AtomicFile::refusal_reason() {
    return system_reason(ERROR_ACCESS_DENIED);
}

FileResult<std::vector<ListedFile>> list_files(const fs::path& folder) {
    FileResult<std::vector<ListedFile>> files;
    const std::string failed = each_entry(folder, [&](const WIN32_FIND_DATAW& found) {
        constexpr DWORD kLeftOut = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN |
                                   FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DEVICE;
        if (found.dwFileAttributes & kLeftOut) return;
        SYSTEMTIME utc{}, local{};
        if (!::FileTimeToSystemTime(&found.ftLastWriteTime, &utc) ||
            !::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) {
            return;
        }
        // The date's form is fixed, whatever the regional settings say.
        char date[16];
        std::snprintf(date, sizeof date, "%04u-%02u-%02u", local.wYear, local.wMonth, local.wDay);
        files.value.push_back({fs::path(found.cFileName), date});
    });
    if (!failed.empty()) return decltype(files)::failure(FileStep::read, failed);
    return files;
}

OpenedSource platform::open_found(const fs::path& found) {
    // Others may go on reading and writing it; a program that holds it
    // without sharing makes the open fail.
    HANDLE file = ::CreateFileW(long_path(found).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return OpenedSource::failure(FileStep::read, error_text(::GetLastError()));
    }
    FileState opened;
    // Asked once: a second GetFileType would clear the error state_of left.
    const bool disk = ::GetFileType(file) == FILE_TYPE_DISK;
    if (!disk || !state_of(file, opened)) {
        const std::string reason = disk ? error_text(::GetLastError()) : kNotAFile;
        ::CloseHandle(file);
        return OpenedSource::failure(FileStep::read, reason);
    }
    return {std::make_unique<FileSource>(file, opened)};
}

void AtomicFile::create() {
    // Windows has no unnamed files: a named, hidden temporary, held open
    // without sharing until it has taken the target's place, so that no
    // scanner, indexer or sync client can hold it in between.
    // The right to set its access list only where the old target has entries
    // of its own to hand on: a share that grants "Change" but not "Full
    // control", or a folder whose OWNER RIGHTS entry takes the owner's
    // implicit right away, refuses it, and then the new file goes without,
    // which the save tells.
    const OwnAccess own = own_access(spelled_as_found(target_));
    may_set_access_ = own.acl != nullptr;
    access_refusal_ = own.unreadable;
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE && !refused(Step::create);
         ++attempt) {
        temporary_ = temporary_name(target_);
        const DWORD access = GENERIC_WRITE | DELETE | (may_set_access_ ? WRITE_DAC : 0);
        file = may_set_access_ && refused(Step::access)
                   ? (::SetLastError(ERROR_ACCESS_DENIED), INVALID_HANDLE_VALUE)
                   : ::CreateFileW(long_path(temporary_).c_str(), access, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_HIDDEN, nullptr);
        const DWORD error = file == INVALID_HANDLE_VALUE ? ::GetLastError() : ERROR_SUCCESS;
        if (error == ERROR_ACCESS_DENIED && may_set_access_) {
            may_set_access_ = false;
            access_refusal_ = error_text(error);
            continue;
        }
        if (file == INVALID_HANDLE_VALUE && error != ERROR_FILE_EXISTS) {
            failure_ = error_text(error);
            break;
        }
    }
    if (file == INVALID_HANDLE_VALUE) {
        if (refused(Step::create)) failure_ = refusal_reason();
        temporary_.clear();
        return;
    }
    handle_ = file;
}

void AtomicFile::write(std::string_view bytes) {
    if (!open()) return;
    while (!bytes.empty()) {
        DWORD written = 0;
        const auto chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
        if (refused(Step::write) || !::WriteFile(handle_, bytes.data(), chunk, &written, nullptr) ||
            written == 0) {
            failure_ = refused(Step::write) ? refusal_reason() : error_text(::GetLastError());
            discard();  // give the disk space back at once
            return;
        }
        bytes.remove_prefix(written);
    }
}

void AtomicFile::discard() {
    if (open()) {
        // Deleted through its own handle, which no one else can have opened.
        FILE_DISPOSITION_INFO gone{TRUE};
        const bool deleted =
            ::SetFileInformationByHandle(handle_, FileDispositionInfo, &gone, sizeof gone);
        ::CloseHandle(std::exchange(handle_, kNoHandle));
        if (deleted) temporary_.clear();
    }
    if (!temporary_.empty()) {
        platform::delete_file(temporary_);
        temporary_.clear();
    }
}

AtomicFile::Replaced AtomicFile::find_replaced() const {
    // Names match ignoring case: an old "sp1999.txt" is the one replaced,
    // and keeps its spelling whatever the file system would do with another.
    Replaced old{spelled_as_found(target_)};
    const DWORD attributes = ::GetFileAttributesW(long_path(old.path).c_str());
    old.exists = attributes != INVALID_FILE_ATTRIBUTES;
    // A read-only target, or a folder, refuses every try; a file held open
    // may be let go.
    if (old.exists && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        old.refusal = kFolderInTheWay;
    } else if (old.exists && (attributes & FILE_ATTRIBUTE_READONLY)) {
        old.refusal = kReadOnly;
    }
    old.kind = attributes;
    return old;
}

std::string AtomicFile::keep_from(const Replaced& old) {
    if (!old.exists) return "";
    if (!access_refusal_.empty()) return access_refusal_;
    if (!may_set_access_) return "";
    // Read again: the old file may have changed since. No list of its own
    // is none to keep; a null one given to the new file would open it to all.
    const OwnAccess own = own_access(old.path);
    if (!own.unreadable.empty()) return own.unreadable;
    return own.acl == nullptr ? "" : set_access(own, handle_);
}

bool AtomicFile::make_durable(const Replaced& old, std::string& reason) {
    // Flushed while still hidden, then shown with the attributes it keeps.
    FILE_BASIC_INFO basic{};
    basic.FileAttributes = (old.exists ? old.kind & kKeptAttributes : 0) | FILE_ATTRIBUTE_ARCHIVE;
    if (refused(Step::flush)) {
        reason = refusal_reason();
        return false;
    }
    if (!::FlushFileBuffers(handle_) ||
        !::SetFileInformationByHandle(handle_, FileBasicInfo, &basic, sizeof basic)) {
        reason = error_text(::GetLastError());
        return false;
    }
    return true;
}

bool AtomicFile::put_in_place(const Replaced& old, std::string& reason) {
    for (int attempt = 0;; ++attempt) {
        // The old target is replaced only when it could be deleted: a
        // program that holds it without letting it go keeps it.
        if (!(old.exists && held_by_another(old.path)) &&
            rename_by_handle(handle_, old.path, refused(Step::posix_rename))) {
            ::CloseHandle(std::exchange(handle_, kNoHandle));
            temporary_.clear();
            return true;
        }
        const DWORD error = ::GetLastError();
        if (attempt == 20 || !may_pass(error)) {
            reason = error_text(error);
            return false;
        }
        ::Sleep(50);
    }
}

}  // namespace convert
