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

#include "batch/batch_platform.h"
#include "files/file_ops.h"
#include "text/ascii_text.h"
#include "text/utf8.h"
#include "window_shared/display_text.h"

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
        std::string utf8 = utf8_of(text);
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

/// `text` upper-cased as the file system compares names.
std::wstring upper_case(std::wstring_view text) {
    std::wstring upper(text);
    if (!upper.empty()) ::CharUpperBuffW(upper.data(), static_cast<DWORD>(upper.size()));
    return upper;
}

/// Whether the long name `name` matches `pattern`, where * stands for any
/// characters and ? for one, letter case ignored.
bool matches(std::wstring_view pattern, std::wstring_view name) {
    const std::wstring p = upper_case(pattern);
    const std::wstring n = upper_case(name);
    std::size_t at = 0, in = 0;
    std::size_t star = std::wstring::npos, resume = 0;  // the last * and where it took over
    while (in < n.size()) {
        if (at < p.size() && (p[at] == L'?' || p[at] == n[in])) {
            ++at;
            ++in;
        } else if (at < p.size() && p[at] == L'*') {
            star = at++;
            resume = in;
        } else if (star != std::wstring::npos) {
            at = star + 1;
            in = ++resume;
        } else {
            return false;
        }
    }
    while (at < p.size() && p[at] == L'*') ++at;
    return at == p.size();
}

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
            // The search matches short 8.3 names too: SPE*.csv finds
            // "SPE1999.csv~" by its short name SPE199~1.CSV.
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                matches(name, found.cFileName)) {
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

std::string folder_refusal(std::string_view argument) {
    if (argument.find('"') == std::string_view::npos) return "";
    return "--folder " + std::string(argument) +
           " holds a quote: a backslash before a closing quote keeps the quote, and the "
           "arguments after it, in the folder's name. Write the folder without its last "
           "backslash: --folder \"C:\\My Data\"";
}

}  // namespace convert
