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

#include "batch/batch_command.h"
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

std::atomic<bool> stop_asked{false};
/// Set once a run asked to stop has cleaned up: a console's closing waits for it.
HANDLE cleaned_up = nullptr;

BOOL WINAPI on_console_event(DWORD event) {
    // A second interruption goes to the default handler, which ends the
    // program at once.
    if (stop_asked.exchange(true)) return FALSE;
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        // The program ends once this returns: not before the run has
        // removed its temporary.
        ::WaitForSingleObject(cleaned_up, INFINITE);
    }
    return TRUE;
}

}  // namespace

StandardStreams standard_streams() {
    static StandardBuffer out_buffer(STD_OUTPUT_HANDLE);
    static StandardBuffer err_buffer(STD_ERROR_HANDLE);
    static std::ostream out(&out_buffer);
    static std::ostream err(&err_buffer);
    return {out, err, err_buffer.console()};
}

FileResult<std::vector<fs::path>> files_named_by(const fs::path& argument, const fs::path& folder) {
    const fs::path name = argument.filename();
    if (name.native().find_first_of(L"*?") == std::wstring::npos) return {{argument}};
    FileResult<std::vector<fs::path>> names =
        files_matching(argument.has_parent_path() ? argument.parent_path() : folder, name);
    // The folder part kept as given.
    for (fs::path& file : names.value) file = argument.parent_path() / file;
    return names;
}

const std::atomic<bool>& stop_on_interrupt() {
    cleaned_up = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ::SetConsoleCtrlHandler(on_console_event, TRUE);
    return stop_asked;
}

void end_interrupted() {
    if (cleaned_up != nullptr) ::SetEvent(cleaned_up);
    ::ExitProcess(kInterrupted);
}

std::string folder_refusal(std::string_view argument) {
    if (argument.find('"') == std::string_view::npos) return "";
    return "--folder " + std::string(argument) +
           " holds a quote: a backslash before a closing quote keeps the quote, and the "
           "arguments after it, in the folder's name. Write the folder without its last "
           "backslash: --folder \"C:\\My Data\"";
}

}  // namespace convert
