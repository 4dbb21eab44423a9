// The conversion run: turns the source file named by the selected year-list
// entry into its target file, reporting every outcome through the view.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "field_procedures.h"
#include "file_ops.h"
#include "record_format.h"
#include "run_view.h"

namespace convert {

enum class RunOutcome {
    converted,          // target replaced, entry marked, "Done." shown
    checked,            // every value fits; nothing written (check only)
    already_running,    // another run is under way; nothing happened
    already_converted,  // the entry carries the converted mark
    invalid_name,       // the name does not begin with "SPE"
    source_missing,
    source_unreadable,
    values_too_long,  // at least one over-length message was shown
    no_known_column,  // the first line names none of the columns read
    failed,           // unexpected error, reported; nothing written
    replace_failed,   // the old target could not be replaced
    write_failed,     // the new target could not be written
};

/// The source name a year-list entry stands for: its first 11 characters,
/// upper-cased, without surrounding spaces.
std::string source_name_of(std::string_view entry);

/// "SP" + characters 4 to 7 of the source name + ".TXT".
std::string target_name_of(std::string_view source_name);

enum class LinesResult {
    converted,        // every value fits; the whole target went to the output
    values_too_long,  // at least one over-length message was passed on
    no_known_column,  // a header line long enough for data names no column read
};

/// Converts the lines of a source file into its target, passing the
/// over-length message of every value that does not fit to `show_message` in
/// line and column order. The target's bytes go to `output` as they are
/// built; unless every value fits, `output` is abandoned at once. The lines
/// are taken as if the end sentinel CR LF "Done" CR LF followed the source.
LinesResult convert_lines(SourceLines& lines, TargetBuffer& output,
                          const MessageFn& show_message);

/// convert_lines on a content in memory, read `block_size` bytes at a time;
/// `output` is left empty unless every value fits.
LinesResult convert_content(std::string_view content, std::string& output,
                            const MessageFn& show_message,
                            std::size_t block_size = SourceLines::kDefaultBlockSize);

class ConversionRun {
public:
    struct Options {
        bool write_target = true;  // false: check every value, write nothing
        std::size_t block_size = SourceLines::kDefaultBlockSize;  // of reading and writing
        AtomicFile::Temporary temporary = AtomicFile::Temporary::unnamed_where_possible;
    };

    /// `folder` is where source and target files are looked up and written.
    ConversionRun(RunView& view, std::filesystem::path folder);

    /// One run for the selected entry. A call made while a run is under way
    /// (from the view's event processing) does nothing.
    RunOutcome run() { return run(Options{}); }
    RunOutcome run(const Options& options);

    bool busy() const { return busy_; }

private:
    RunOutcome convert(const std::string& source_name, int index, const Options& options);
    void set_busy_state(bool busy);

    RunView& view_;
    std::filesystem::path folder_;
    bool busy_ = false;
};

}  // namespace convert
