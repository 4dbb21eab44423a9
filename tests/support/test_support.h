// Helpers shared by the tests: a scoped temporary folder, file access in
// bytes, builders for source files, a report that records what a run tells,
// and sources that fail or dawdle.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "records/row_rules.h"
#include "run/convert_file.h"
#include "sources/byte_source.h"
#include "workbooks/workbook_rows.h"

namespace testing_support {

/// A fresh folder under the system's temporary folder, removed with its
/// contents when the object goes.
class ScopedTempDir {
public:
    ScopedTempDir();
    ~ScopedTempDir();
    ScopedTempDir(const ScopedTempDir&) = delete;
    ScopedTempDir& operator=(const ScopedTempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    /// `name` is bytes, as the conversion takes file names.
    std::filesystem::path operator/(std::string_view name) const;
    /// Whether the folder's file system tells names apart that differ only in
    /// letter case (not so on Windows).
    bool tells_case_apart() const;
    /// Names of the folder's entries as bytes, sorted.
    std::vector<std::string> names() const;

private:
    std::filesystem::path path_;
};

void write_file(const std::filesystem::path& path, std::string_view bytes);
/// Writes a file the folder listing counts as hidden, named after `name`:
/// ".name" on POSIX systems, `name` with the hidden attribute on Windows.
/// Returns its path.
std::filesystem::path write_hidden_file(const std::filesystem::path& folder, std::string_view name);
/// Puts at `path` a file that exists but cannot be read: a link to nowhere on
/// POSIX systems; on Windows a file held open without sharing until the
/// ScopedTempDir that holds it goes.
void make_unreadable(const std::filesystem::path& path);
/// The system's reason for that file's read failing.
std::string unreadable_reason();
/// The system's reason for a save step refused as the system refuses it.
std::string refused_reason();
/// The system's reason for a folder that is not there.
std::string missing_reason();
/// Puts this process in a zone 14 hours east of UTC, without summer time;
/// false when it cannot (Windows takes the zone from TZ at start, as ctest
/// sets it for the tests). The zone stays until the object goes.
class FarEastZone {
public:
    FarEastZone();
    ~FarEastZone();
    FarEastZone(const FarEastZone&) = delete;
    FarEastZone& operator=(const FarEastZone&) = delete;
    bool active() const { return active_; }

private:
    bool active_ = false;
};

/// Sets the file's modification time to noon, local time, of the given day.
void set_modified(const std::filesystem::path& path, int year, int month, int day);
std::string read_file(const std::filesystem::path& path);

/// The header line with all eighteen columns a conversion reads.
inline constexpr std::string_view kFullHeader =
    "MAKE,MODEL,A1,B1,C1,D1,E1,F1,G1,OL,OW,OH,WB,TWF,TWR,CW,WDIST,MYR";

/// The data line of the documented worked example and its 103-byte target.
inline constexpr std::string_view kExampleLine =
    "ACME,RUNABOUT 2,12,345,,7,100,99,5,480,178,145,270,150,151,1250,55,98";
inline constexpr std::string_view kExampleTarget =
    "<R><MA>ACME</MA><MO>RUNABOUT 2</MO><DA>12 345   7  10099 5  480178145270150151125055   98 "
    "</DA></R>\r\n\r\n";

/// Each line followed by CR LF.
std::string crlf_lines(std::initializer_list<std::string_view> lines);

/// The worked example as a source file, and a year-list entry for it.
inline const std::string kValid = crlf_lines({kFullHeader, kExampleLine});
inline const std::string kEntry = "SPE1999.CSV - 1999-05-03";

/// How a compound file begins, and the name of the stream of a workbook
/// encrypted with a password, as its directory holds it.
inline const std::string kCompound = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
inline const std::string kEncryptedPackage("E\0n\0c\0r\0y\0p\0t\0e\0d\0P\0a\0c\0k\0a\0g\0e\0", 32);

/// Whether the tests run as Windows programs under Wine, whose XmlLite
/// holds a run of text whole, and so refuses one past 1 MiB.
bool under_wine();

/// A workbook whose first sheet holds `csv`'s lines (CR LF) and fields
/// (commas, no quotes), fields of digits as numbers, the others as text (in
/// an .xlsx, those beginning with # as errors): an .xlsx, or an .ods.
std::string workbook_of(std::string_view csv, bool ods = false);

/// The rows `open` finds in `file`, "number:line" each, joined by " / ":
/// each line as its CSV export writes it, padded with commas to its length,
/// and its refused cells after it as " {cell kind detail}". Or "!" (or
/// "!encrypted: ") and why the workbook cannot be read.
std::string workbook_rows_text(
    const std::function<std::unique_ptr<convert::RowSource>(convert::RandomAccessSource&)>& open,
    const std::string& file);

/// workbook_rows_text() of a workbook whose rows `open` finds: first with
/// the usual rows taken from the bytes, then by the parser alone.
using SheetOpener = std::unique_ptr<convert::RowSource> (*)(convert::RandomAccessSource&,
                                                            const std::atomic<bool>*,
                                                            convert::SheetReading);
std::pair<std::string, std::string> workbook_rows_both_ways(SheetOpener open,
                                                            const std::string& file);

/// A full-header source with one data line per (make, model, A1) triple
/// where every other value fits its width.
std::string source_with_a1(std::initializer_list<std::array<std::string_view, 3>> vehicles);

/// Records what a run reports, each value's message worded with CR LF line
/// breaks, as a Windows box shows it.
class RecordingReport : public convert::RunReport {
public:
    std::vector<std::string> messages;
    std::vector<std::uint64_t> read_so_far;  // each progress report's bytes done
    /// Runs inside problem after it is recorded, as a window's box would.
    std::function<void(const std::string&)> on_message;
    /// Runs inside progress after it is recorded.
    std::function<void()> on_progress;

    void problem(const convert::ValueProblem& problem) override;
    void progress(std::uint64_t done, std::uint64_t total) override;
};

/// How a run ended, as the tables name it: the run's end, and the rows'
/// where they refused it.
struct Ending {
    convert::RunEnd run;
    convert::RowsEnd rows = convert::RowsEnd::converted;
    bool operator==(const Ending&) const = default;
};
Ending ending_of(const convert::RunResult& result);
std::ostream& operator<<(std::ostream& out, const Ending& ending);

namespace endings {
using convert::RowsEnd;
using convert::RunEnd;
inline constexpr Ending converted{RunEnd::converted};
inline constexpr Ending checked{RunEnd::checked};
inline constexpr Ending invalid_name{RunEnd::invalid_name};
inline constexpr Ending source_missing{RunEnd::source_missing};
inline constexpr Ending source_unreadable{RunEnd::source_unreadable};
inline constexpr Ending encrypted{RunEnd::encrypted};
inline constexpr Ending default_password{RunEnd::default_password};
inline constexpr Ending source_changed{RunEnd::source_changed};
inline constexpr Ending failed{RunEnd::failed};
inline constexpr Ending replace_failed{RunEnd::replace_failed};
inline constexpr Ending write_failed{RunEnd::write_failed};
inline constexpr Ending stopped{RunEnd::stopped};
inline constexpr Ending values_rejected{RunEnd::rows_refused, RowsEnd::values_rejected};
inline constexpr Ending no_known_column{RunEnd::rows_refused, RowsEnd::no_known_column};
inline constexpr Ending missing_columns{RunEnd::rows_refused, RowsEnd::missing_columns};
inline constexpr Ending unclosed_quote{RunEnd::rows_refused, RowsEnd::unclosed_quote};
inline constexpr Ending rows_after_short_row{RunEnd::rows_refused, RowsEnd::rows_after_short_row};
inline constexpr Ending no_rows{RunEnd::rows_refused, RowsEnd::no_rows};
inline constexpr Ending row_too_long{RunEnd::rows_refused, RowsEnd::row_too_long};
inline constexpr Ending cell_refused{RunEnd::rows_refused, RowsEnd::cell_refused};
}  // namespace endings

/// What a whole run gave: how it ended, and every message in order, the
/// closing one (its lines joined by CR LF) and the reason last.
struct Ran {
    Ending outcome;
    std::vector<std::string> messages;
};

/// The files of a run as a test shapes them: reads of at most `block`
/// bytes that wait, stall or fail, another source altogether, a save step the
/// system refuses (whose callback may dawdle too).
class TestFiles : public convert::RunFiles {
public:
    std::size_t block = convert::kBlockSize;  // bytes read, and gathered, at a time
    int good_reads = -1;                      // reads before the source fails; -1: all
    int wait_ms = 0;                          // how long each read waits
    int first_wait_ms = 0;                    // how long the first read waits
    convert::SaveOptions save;                // how the target is saved, and refused
    /// Opens the source in place of the file named, when set.
    std::function<convert::OpenedSource(const std::filesystem::path&)> open_instead;
    /// Runs after the first read, with the path opened: another program at work.
    std::function<void(const std::filesystem::path&)> after_first_read;

    convert::OpenedSource open(const std::filesystem::path& path) const override;
    std::size_t block_size() const override { return block; }
    convert::SaveOptions save_options() const override { return save; }
};

/// Converts `name` in `folder`, its messages naming it upper-cased as the
/// windows do.
Ran run_file(const std::filesystem::path& folder, const std::string& name,
             const convert::RunFiles& files = convert::real_files());

/// How many files and handles this process holds open, to tell a leak.
std::size_t open_descriptors();

/// Replaces `path` by `bytes` through an AtomicFile: the step that failed.
convert::FileStep save_file(const std::filesystem::path& path, std::string_view bytes,
                            convert::AtomicFile::Options options = {});

}  // namespace testing_support
