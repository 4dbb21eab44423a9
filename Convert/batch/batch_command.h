// convert-batch: the conversion run for files named on a command line or
// found in a folder, with messages on the standard streams instead of boxes.
#pragma once

#include <atomic>
#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "files/file_ops.h"

namespace convert {

struct BatchOptions {
    std::filesystem::path folder = ".";
    bool check_only = false;
    bool help = false;
    std::vector<std::filesystem::path> files;  // as given; empty: every SPE file of `folder`
};

/// The options `args` (without the program name) give, or std::nullopt with
/// `error` set to a one-line reason.
std::optional<BatchOptions> parse_batch_options(const std::vector<std::filesystem::path>& args,
                                                std::string& error);

/// Names of the files in `folder` that are "SPE", four characters and
/// ".csv", ".xlsx" or ".ods" in any letter case, in name order ignoring case.
FileResult<std::vector<std::filesystem::path>> batch_source_names(
    const std::filesystem::path& folder);

/// What run_batch returns when `stop` ended it.
inline constexpr int kInterrupted = 130;

/// Runs the command. Exit status: 0 when every file was converted (or, with
/// --check, every value fits), 1 when any was not or there was none, 2 for a
/// usage error, kInterrupted once `stop` is set: the file under way stops
/// (unless its new target is already taking the old one's place) and no
/// other begins. Progress is shown on `err` only when it is a terminal.
int run_batch(const std::vector<std::filesystem::path>& args, std::ostream& out, std::ostream& err,
              bool err_is_terminal = false, const std::atomic<bool>* stop = nullptr);

}  // namespace convert
