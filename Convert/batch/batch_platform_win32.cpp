// convert-batch on Windows: text for a console through the console's own
// calls, UTF-8 for files and pipes, and the file patterns the shell leaves.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <streambuf>

#include "ascii_text.h"
#include "batch_platform.h"
#include "display_text.h"
#include "file_ops.h"

namespace convert {

namespace fs = std::filesystem;

namespace {

/// Gathers bytes up to each flush or line end, then writes them as the
/// handle needs them.
class StandardBuffer : public std::streambuf {
public:
    explicit StandardBuffer(DWORD which) : handle_(::GetStdHandle(which)) {
        DWORD mode = 0;
        console_ = ::GetConsoleMode(handle_, &mode) != 0;
    }
    bool console() const { return console_; }

protected:
    int_type overflow(int_type c) override {
        if (c == traits_type::eof()) return traits_type::not_eof(c);
        pending_ += traits_type::to_char_type(c);
        if (c == '\n') sync();
        return c;
    }
    std::streamsize xsputn(const char* bytes, std::streamsize n) override {
        for (std::streamsize i = 0; i < n; ++i) overflow(traits_type::to_int_type(bytes[i]));
        return n;
    }
    int sync() override {
        if (pending_.empty()) return 0;
        const std::u16string text = decoded_text(pending_);
        pending_.clear();
        if (console_) {
            DWORD written = 0;
            return ::WriteConsoleW(handle_, text.data(), static_cast<DWORD>(text.size()), &written,
                                   nullptr)
                       ? 0
                       : -1;
        }
        std::string utf8 = bytes_of(fs::path(std::wstring(text.begin(), text.end())));
        for (std::size_t at = 0; (at = utf8.find('\n', at)) != std::string::npos; at += 2) {
            utf8.insert(at, 1, '\r');
        }
        DWORD written = 0;
        return ::WriteFile(handle_, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr)
                   ? 0
                   : -1;
    }

private:
    HANDLE handle_;
    bool console_ = false;
    std::string pending_;
};

}  // namespace

StandardStreams standard_streams() {
    static StandardBuffer out_buffer(STD_OUTPUT_HANDLE);
    static StandardBuffer err_buffer(STD_ERROR_HANDLE);
    static std::ostream out(&out_buffer);
    static std::ostream err(&err_buffer);
    return {out, err, err_buffer.console()};
}

std::vector<std::string> files_named_by(const std::string& argument, const fs::path& folder) {
    const fs::path given = path_of(argument);
    const fs::path pattern = given.has_parent_path() ? given : folder / given;
    const std::wstring name = pattern.filename().native();
    if (name.find_first_of(L"*?") == std::wstring::npos) return {argument};
    std::vector<std::string> names;
    WIN32_FIND_DATAW found{};
    HANDLE search = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found,
                                       FindExSearchNameMatch, nullptr, 0);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                names.push_back(bytes_of(fs::path(found.cFileName)));
            }
        } while (::FindNextFileW(search, &found));
        ::FindClose(search);
    }
    std::sort(names.begin(), names.end(), less_ignoring_case);
    const std::string given_folder =
        argument.substr(0, argument.size() - bytes_of(fs::path(name)).size());
    for (std::string& file : names) file = given_folder + file;
    return names;
}

std::string folder_argument(std::string argument) {
    if (argument.ends_with('"')) argument.pop_back();
    return argument;
}

}  // namespace convert
