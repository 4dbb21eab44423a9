// The one way into the conversion for every front end: converts a named
// source file into its target file beside it, all or nothing, and says how
// it went. Values the target cannot take and progress come through the
// RunReport while the run works; how it ended comes back as data, which
// messages.h words, for the front end to show once it has left its busy
// state.
#pragma once

#include <atomic>
#include <filesystem>
#include <string>

#include "files/file_ops.h"
#include "records/row_rules.h"
#include "records/run_report.h"
#include "sources/byte_source.h"

namespace convert {

/// How a run ended.
enum class RunEnd {
    converted,          // target replaced: "Done."
    checked,            // every value fits; nothing written (check only)
    invalid_name,       // the name does not begin with "SPE"
    source_missing,     // no such file
    source_unreadable,  // the reason says why
    encrypted,          // a workbook that needs a password to open
    default_password,   // a workbook encrypted with Excel's own password, opened without asking
    rows_refused,       // the rows say why (RunResult::rows)
    source_changed,     // the source changed while it was read
    failed,             // unexpected error, the reason says which; nothing written
    replace_failed,     // the old target could not be replaced; the reason says why
    write_failed,       // the new target could not be written; the reason says why
    stopped,            // asked to stop before the new target took the old one's place
};

struct RunResult {
    RunEnd end = RunEnd::converted;
    RowsResult rows = {};
    /// Why a file operation failed, in the system's own words or Convert's
    /// (see FileResult), or what unexpected error stopped the run.
    std::string reason = {};
    /// Converted, but the old target's access rights could not be kept: why.
    std::string access_not_kept = {};
};

struct SourceFile {
    std::filesystem::path folder;  // where the source is and the target goes
    std::filesystem::path name;    // looked up exactly, then ignoring case
};

struct RunOptions {
    bool write_target = true;  // false: check every value, write nothing
    /// Once set, the run reads no further and writes nothing, unless its new
    /// target is already taking the old one's place.
    const std::atomic<bool>* stop = nullptr;
};

/// The file system as a run sees it, behind one interface that tests
/// replace: sources that fail or dawdle, other block sizes, a save step the
/// system refuses.
class RunFiles {
public:
    virtual ~RunFiles() = default;
    /// Opens the source at `path`, as open_source does.
    virtual OpenedSource open(const std::filesystem::path& path) const { return open_source(path); }
    /// How many bytes a run reads, and gathers for writing, at a time.
    virtual std::size_t block_size() const { return kBlockSize; }
    /// How the new target is saved.
    virtual SaveOptions save_options() const { return {}; }
};

/// The files themselves.
const RunFiles& real_files();

/// Converts `source`: "SPE" + year + anything, into "SP" + year + ".TXT"
/// beside it, reporting each value unfit for the target and the reading's
/// progress through `report` in order.
RunResult convert_file(const SourceFile& source, const RunOptions& options, RunReport& report,
                       const RunFiles& files = real_files());

}  // namespace convert
