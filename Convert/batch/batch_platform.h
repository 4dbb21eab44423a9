// What convert-batch does differently on each platform: how it writes to
// the terminal, and who expands file name patterns. One file per platform.
#pragma once

#include <atomic>
#include <filesystem>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "files/file_ops.h"

namespace convert {

struct StandardStreams {
    std::ostream& out;
    std::ostream& err;
    bool err_is_terminal;  // a person watches: progress may be shown there
};

/// The program's standard output and error. On Windows a console gets its
/// text through the console's own calls, and files and pipes get UTF-8 with
/// CR LF line ends; bytes from files are read as UTF-8 where they are valid
/// UTF-8, else as Windows-1252. Elsewhere the bytes go out as they are.
StandardStreams standard_streams();

/// The files a FILE argument names, looked up in `folder` unless it has a
/// folder part of its own. Windows shells leave `*` and `?` to the program:
/// there the matching ordinary files, in name order, the folder part kept as
/// given, and none when nothing matches. Elsewhere the shell has expanded
/// them: the argument itself.
FileResult<std::vector<std::filesystem::path>> files_named_by(const std::filesystem::path& argument,
                                                              const std::filesystem::path& folder);

/// From now on an interruption (Ctrl+C, Ctrl+Break or the console closing
/// on Windows; SIGINT, SIGTERM or SIGHUP elsewhere) sets the flag returned,
/// which asks the run to stop; a second one ends the program at once.
const std::atomic<bool>& stop_on_interrupt();

/// Ends the program as the interruption asked, once the run has cleaned
/// up: by the signal again, with its default action (a shell sees 130, 143
/// or 129); on Windows with exit status 130, letting a console's closing go
/// on.
[[noreturn]] void end_interrupted();

/// Why `argument` cannot name a folder, or "" when it can. On Windows
/// `--folder "C:\My Data\" SPE1999.csv` arrives as the one argument
/// `C:\My Data" SPE1999.csv` (the backslash keeps the closing quote, and the
/// arguments after it), which no folder's name can hold.
std::string folder_refusal(std::string_view argument);

}  // namespace convert
