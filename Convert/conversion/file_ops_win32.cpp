// The file operations on Windows: the wide-character API throughout, so that
// any name a folder holds can be listed, read and written.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// After windows.h:
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "file_ops.h"
#include "file_ops_internal.h"
#include "utf8.h"

namespace convert {

namespace fs = std::filesystem;

namespace {

std::string error_text(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD n = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message(text != nullptr ? text : L"", n);
    if (text != nullptr) ::LocalFree(text);
    while (!message.empty() && (message.back() == L'\r' || message.back() == L'\n' ||
                                message.back() == L' ' || message.back() == L'.')) {
        message.pop_back();
    }
    if (message.empty()) return "error " + std::to_string(error);
    return bytes_of(fs::path(message));
}

class FileSource : public ByteSource {
public:
    FileSource(HANDLE file, std::size_t size) : file_(file), size_(size) {}
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;
    ~FileSource() override { ::CloseHandle(file_); }

    std::size_t read(char* into, std::size_t size) override {
        DWORD got = 0;
        const auto wanted = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
        if (!::ReadFile(file_, into, wanted, &got, nullptr))
            throw ReadError(error_text(::GetLastError()));
        return got;
    }
    std::size_t size_hint() const override { return size_; }

private:
    HANDLE file_;
    std::size_t size_;
};

/// Another program (a virus scanner, an indexer) may hold a file open for a
/// moment; these errors are worth a few more tries.
bool may_pass(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
           error == ERROR_ACCESS_DENIED;
}

/// Puts `from` in the place of `to`, whose attributes are `to_attributes`.
/// A read-only target, or one that another program holds open without
/// letting it be deleted, is not replaced, whatever the file system (or
/// Wine) would allow.
bool replace(const fs::path& from, const fs::path& to, DWORD to_attributes) {
    if (to_attributes != INVALID_FILE_ATTRIBUTES) {
        if (to_attributes & FILE_ATTRIBUTE_READONLY) {
            ::SetLastError(ERROR_ACCESS_DENIED);
            return false;
        }
        HANDLE probe = ::CreateFileW(to.c_str(), DELETE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, 0, nullptr);
        if (probe == INVALID_HANDLE_VALUE) return false;
        ::CloseHandle(probe);
    }
    return ::MoveFileExW(from.c_str(), to.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

}  // namespace

namespace platform {

EntryKind entry_kind(const fs::path& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
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

bool delete_file(const fs::path& path) {
    return ::DeleteFileW(path.c_str()) != 0;
}

std::uint64_t current_process_id() {
    return ::GetCurrentProcessId();
}

bool temporary_in_use(const fs::path&, std::uint64_t pid) {
    if (pid == 0 || pid > 0xFFFFFFFFu) return false;
    HANDLE process = ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                                   static_cast<DWORD>(pid));
    if (process == nullptr) return ::GetLastError() == ERROR_ACCESS_DENIED;
    const bool running = ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    ::CloseHandle(process);
    return running;
}

}  // namespace platform

std::string bytes_of(const fs::path& name) {
    // UTF-16 to UTF-8, an unpaired surrogate taken as the code point it is.
    const std::wstring& wide = name.native();
    std::string bytes;
    bytes.reserve(wide.size());
    for (std::size_t i = 0; i < wide.size(); ++i) {
        char32_t c = wide[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
            wide[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (wide[++i] - 0xDC00);
        }
        if (c < 0x80) {
            bytes += static_cast<char>(c);
        } else if (c < 0x800) {
            bytes += static_cast<char>(0xC0 | (c >> 6));
            bytes += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            bytes += static_cast<char>(0xE0 | (c >> 12));
            bytes += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            bytes += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            bytes += static_cast<char>(0xF0 | (c >> 18));
            bytes += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            bytes += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            bytes += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return bytes;
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

std::vector<std::string> program_arguments(int, char**) {
    // The narrow arguments are in the ANSI code page, which cannot hold every
    // name: take the wide command line instead.
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    for (int i = 1; i < count; ++i) arguments.push_back(bytes_of(fs::path(wide[i])));
    if (wide != nullptr) ::LocalFree(wide);
    return arguments;
}

std::vector<ListedFile> list_files(const fs::path& folder) {
    std::vector<ListedFile> files;
    WIN32_FIND_DATAW found{};
    HANDLE search = ::FindFirstFileExW((folder / L"*").c_str(), FindExInfoBasic, &found,
                                       FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) return files;
    do {
        constexpr DWORD kLeftOut = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN |
                                   FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DEVICE;
        if (found.dwFileAttributes & kLeftOut) continue;
        SYSTEMTIME utc{}, local{};
        if (!::FileTimeToSystemTime(&found.ftLastWriteTime, &utc) ||
            !::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) {
            continue;
        }
        // The date's form is fixed, whatever the regional settings say.
        char date[16];
        std::snprintf(date, sizeof date, "%04u-%02u-%02u", local.wYear, local.wMonth, local.wDay);
        files.push_back({bytes_of(fs::path(found.cFileName)), date});
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    return files;
}

OpenedSource platform::open_found(const fs::path& found) {
    OpenedSource result;
    result.status = OpenedSource::Status::failed;
    // Others may go on reading and writing it; a program that holds it
    // without sharing makes the open fail.
    HANDLE file = ::CreateFileW(found.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        result.error = error_text(::GetLastError());
        return result;
    }
    LARGE_INTEGER size{};
    if (::GetFileType(file) != FILE_TYPE_DISK || !::GetFileSizeEx(file, &size)) {
        ::CloseHandle(file);
        result.error = "not an ordinary file";
        return result;
    }
    result.status = OpenedSource::Status::ok;
    result.file = std::make_unique<FileSource>(file, static_cast<std::size_t>(size.QuadPart));
    return result;
}

void AtomicFile::create() {
    // Windows has no unnamed files: always a named, hidden temporary.
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE && !refused(Step::create);
         ++attempt) {
        temporary_ = temporary_name(target_);
        file = ::CreateFileW(temporary_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_HIDDEN, nullptr);
        if (file == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (file == INVALID_HANDLE_VALUE) {
        temporary_.clear();
        failed_ = true;
        return;
    }
    handle_ = file;
}

void AtomicFile::write(std::string_view bytes) {
    if (failed_) return;
    while (!bytes.empty()) {
        DWORD written = 0;
        const auto chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
        if (refused(Step::write) || !::WriteFile(handle_, bytes.data(), chunk, &written, nullptr) ||
            written == 0) {
            failed_ = true;
            discard();  // give the disk space back at once
            return;
        }
        bytes.remove_prefix(written);
    }
}

bool AtomicFile::flush_and_close() {
    HANDLE file = handle_;
    if (refused(Step::flush) || !::FlushFileBuffers(file)) return false;
    handle_ = kNoHandle;
    return ::CloseHandle(file) != 0;
}

void AtomicFile::discard() {
    if (open()) {
        ::CloseHandle(handle_);
        handle_ = kNoHandle;
    }
    if (!temporary_.empty()) {
        ::SetFileAttributesW(temporary_.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(temporary_.c_str());
        temporary_.clear();
    }
}

SaveResult AtomicFile::commit() {
    if (failed_ || !open()) {
        discard();
        return SaveResult::write_failed;
    }
    // The new file takes the old one's attributes, else none: never the
    // temporary's "hidden".
    const DWORD existing = ::GetFileAttributesW(target_.c_str());
    const bool exact_exists = existing != INVALID_FILE_ATTRIBUTES;
    FILE_BASIC_INFO basic{};
    basic.FileAttributes = exact_exists && !(existing & FILE_ATTRIBUTE_DIRECTORY)
                               ? existing & ~(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_TEMPORARY)
                               : FILE_ATTRIBUTE_NORMAL;
    if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    if (!::SetFileInformationByHandle(handle_, FileBasicInfo, &basic, sizeof basic) ||
        !flush_and_close()) {
        discard();
        return SaveResult::write_failed;
    }
    // Names match ignoring case natively: an old "sp1999.txt" is the target
    // itself, replaced in place, and keeps its name as Windows keeps it.
    for (int attempt = 0;; ++attempt) {
        if (!refused(Step::replace) && replace(temporary_, target_, existing)) {
            temporary_.clear();
            return SaveResult::saved;
        }
        const DWORD error = ::GetLastError();
        // A read-only target or a folder refuses every try; a file held open
        // may be let go.
        if (attempt == 20 || !may_pass(error) ||
            (exact_exists && (existing & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)))) {
            break;
        }
        ::Sleep(50);
    }
    discard();
    return exact_exists ? SaveResult::replace_failed : SaveResult::write_failed;
}

}  // namespace convert
