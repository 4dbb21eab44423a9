#include "batch/batch_command.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <ostream>
#include <system_error>

#include "batch/batch_platform.h"
#include "files/file_ops.h"
#include "run/convert_file.h"
#include "run/messages.h"
#include "run/source_names.h"
#include "text/ascii_text.h"
#include "window_shared/display_text.h"

namespace convert {

namespace fs = std::filesystem;

namespace {

constexpr const char* kUsage =
    "usage: convert-batch [--folder DIR] [--check] [FILE...]\n"
    "\n"
    "Converts each source file SPEyyyy.csv, SPEyyyy.xlsx or SPEyyyy.ods (its first\n"
    "sheet) to its target file SPyyyy.TXT beside it, exactly as the Convert window\n"
    "does. Without FILE, converts every file of the folder named SPE, four\n"
    "characters and .csv, .xlsx or .ods, in name order.\n"
    "\n"
    "  --folder DIR  where source names are looked up and targets written\n"
    "                (default: the current folder); a FILE with a folder part\n"
    "                uses its own folder\n"
    "  --check       check every value's width, write nothing\n"
    "  --help        show this text\n"
    "\n"
    "Messages go to standard error, each after the file's name; \"Done.\" goes to\n"
    "standard output. On Windows, FILE may hold * and ?, and text written to a\n"
    "file or pipe is UTF-8. Exit status: 0 when every file was converted (or\n"
    "checked clean), 1 when any was not or there was none, 2 for a usage error,\n"
    "130 (or the signal's own) when interrupted.\n";

/// Messages go to the error stream, each after the file's name as given. On
/// a terminal, a file that takes more than a second shows how far it has
/// come on a line of its own, erased before anything else is written.
class StreamReport : public RunReport {
public:
    StreamReport(std::string label, std::ostream& err, bool err_is_terminal)
        : label_(std::move(label)), err_(err), terminal_(err_is_terminal) {}
    ~StreamReport() override { erase_progress(); }

    void problem(const ValueProblem& problem) override { say(err_, value_message(problem)); }

    void progress(std::uint64_t done, std::uint64_t total) override {
        using namespace std::chrono;
        const auto now = steady_clock::now();
        if (!terminal_ || total == 0 || now - started_ < seconds(1) ||
            now - shown_at_ < milliseconds(100)) {
            return;
        }
        shown_at_ = now;
        const std::string line = label_ + ": " + std::to_string(done * 100 / total) + " %";
        err_ << '\r' << line << std::flush;
        shown_ = screen_columns(line);
    }

    /// The message's lines after the label, the first of them beside it.
    void say(std::ostream& to, const MessageLines& message) {
        erase_progress();
        to << label_ << ": " << joined(message, "\n") << '\n';
    }

private:
    void erase_progress() {
        if (shown_ == 0) return;
        err_ << '\r' << std::string(shown_, ' ') << '\r' << std::flush;
        shown_ = 0;
    }

    std::string label_;
    std::ostream& err_;
    bool terminal_;
    std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point shown_at_;
    std::size_t shown_ = 0;  // the progress line's width on screen while it stands
};

/// A file of the run: as given, and where it is.
struct RunFile {
    fs::path given;
    std::string label;  // how messages name it: as given
    fs::path folder;
    fs::path name;
    std::optional<fs::path> found;  // the file itself, for a source file that exists
};

RunFile run_file_of(const BatchOptions& options, const fs::path& given) {
    RunFile file{given, bytes_of(given),
                 given.has_parent_path() ? given.parent_path() : options.folder, given.filename(),
                 std::nullopt};
    if (is_source_name(bytes_of(file.name))) file.found = find_file(file.folder / file.name);
    return file;
}

bool same_file(const fs::path& a, const fs::path& b) {
    std::error_code ec;
    return fs::equivalent(a, b, ec) || a.lexically_normal() == b.lexically_normal();
}

std::string target_of(const RunFile& file) {
    return target_name_of(bytes_of(file.name));
}

/// Whether `a` and `b` are two files whose targets are one file: sources in
/// one folder whose target names are equal ignoring case.
bool share_a_target(const RunFile& a, const RunFile& b) {
    return a.found && b.found && !same_file(*a.found, *b.found) &&
           equals_ignoring_case(target_of(a), target_of(b)) && same_file(a.folder, b.folder);
}

RunEnd convert_one(const BatchOptions& options, const RunFile& file, std::ostream& out,
                   std::ostream& err, bool err_is_terminal, const std::atomic<bool>* stop) {
    StreamReport report(file.label, err, err_is_terminal);
    const RunResult result = convert_file(
        {file.folder, file.name}, {.write_target = !options.check_only, .stop = stop}, report);
    switch (result.end) {
        case RunEnd::converted:
            report.say(out, closing_message(result, bytes_of(file.name)));
            break;
        case RunEnd::checked:
            report.say(out, {"every value fits; nothing written."});
            break;
        case RunEnd::stopped:
            break;
        default:
            // The system's reason on a line of its own.
            report.say(err, closing_message(result, bytes_of(file.name)));
            if (const std::string_view reason = reason_after(result); !reason.empty()) {
                report.say(err, {std::string(reason)});
            }
            break;
    }
    return result.end;
}

}  // namespace

std::optional<BatchOptions> parse_batch_options(const std::vector<fs::path>& args,
                                                std::string& error) {
    BatchOptions options;
    bool only_files = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string arg = bytes_of(args[i]);
        if (only_files || arg.empty() || arg[0] != '-' || arg == "-") {
            options.files.push_back(args[i]);
        } else if (arg == "--") {
            only_files = true;
        } else if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--check") {
            options.check_only = true;
        } else if (arg == "--folder" || arg.starts_with("--folder=")) {
            if (arg == "--folder" && i + 1 == args.size()) {
                error = "--folder needs a folder";
                return std::nullopt;
            }
            const fs::path folder = arg == "--folder" ? args[++i] : path_of(arg.substr(9));
            error = folder_refusal(bytes_of(folder));
            if (!error.empty()) return std::nullopt;
            options.folder = folder;
        } else {
            error = "unknown option " + arg;
            return std::nullopt;
        }
    }
    return options;
}

FileResult<std::vector<fs::path>> batch_source_names(const fs::path& folder) {
    FileResult<std::vector<ListedFile>> listed = list_files(folder);
    FileResult<std::vector<fs::path>> names{{}, listed.failed, listed.reason};
    for (ListedFile& file : listed.value) {
        if (is_yearly_source_name(bytes_of(file.name))) names.value.push_back(std::move(file.name));
    }
    std::sort(names.value.begin(), names.value.end(), [](const fs::path& a, const fs::path& b) {
        return less_ignoring_case(bytes_of(a), bytes_of(b));
    });
    return names;
}

int run_batch(const std::vector<fs::path>& args, std::ostream& out, std::ostream& err,
              bool err_is_terminal, const std::atomic<bool>* stop) {
    std::string error;
    const std::optional<BatchOptions> options = parse_batch_options(args, error);
    if (!options) {
        err << "convert-batch: " << error << "\n" << kUsage;
        return 2;
    }
    if (options->help) {
        out << kUsage;
        return 0;
    }
    // What cannot be listed says why, after the folder's or pattern's name.
    const auto say_why = [&err](const std::string& given, const std::string& reason) {
        if (!reason.empty()) err << given << ": " << reason << "\n";
    };
    std::vector<fs::path> files;
    bool all_converted = true;
    for (const fs::path& argument : options->files) {
        const FileResult<std::vector<fs::path>> named = files_named_by(argument, options->folder);
        if (named.value.empty()) {
            err << "convert-batch: no file matches " << bytes_of(argument) << "\n";
            say_why(bytes_of(argument), named.reason);
            all_converted = false;
        }
        files.insert(files.end(), named.value.begin(), named.value.end());
    }
    if (options->files.empty()) {
        const FileResult<std::vector<fs::path>> found = batch_source_names(options->folder);
        files = found.value;
        if (files.empty()) {
            err << "convert-batch: no SPE files in " << bytes_of(options->folder) << "\n";
            say_why(bytes_of(options->folder), found.reason);
            return 1;
        }
    }
    // A file reached twice converts once.
    std::vector<RunFile> run;
    for (const fs::path& given : files) {
        RunFile file = run_file_of(*options, given);
        const bool again = std::any_of(run.begin(), run.end(), [&](const RunFile& earlier) {
            return file.found && earlier.found && same_file(*file.found, *earlier.found);
        });
        if (!again) run.push_back(std::move(file));
    }
    for (const RunFile& file : run) {
        // Two files of one target: which of them is meant, only the user
        // knows; the target is left as it is. A check writes nothing.
        const auto other = std::find_if(run.begin(), run.end(), [&](const RunFile& another) {
            return share_a_target(file, another);
        });
        if (other != run.end() && !options->check_only) {
            const bool first = &file < &*other;
            StreamReport(file.label, err, false)
                .say(err, {"Both " + (first ? file : *other).label + " and " +
                           (first ? *other : file).label + " convert to " + target_of(file) +
                           ".  Data not converted."});
            all_converted = false;
            continue;
        }
        const RunEnd end = convert_one(*options, file, out, err, err_is_terminal, stop);
        if (end == RunEnd::stopped) {
            err << "convert-batch: interrupted; " << target_of(file) << " is unchanged.\n";
            return kInterrupted;
        }
        all_converted = all_converted && (end == RunEnd::converted || end == RunEnd::checked);
        // Asked to stop once this file's new target was taking its place.
        if (stop != nullptr && stop->load()) {
            err << "convert-batch: interrupted.\n";
            return kInterrupted;
        }
    }
    return all_converted ? 0 : 1;
}

}  // namespace convert
