// Helpers shared by the tests: a scoped temporary folder, file access in
// bytes, builders for source files, and a RunView that records what a run
// does to it.
#pragma once

#include <array>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "run_view.h"

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

/// A full-header source with one data line per (make, model, A1) triple
/// where every other value fits its width.
std::string source_with_a1(std::initializer_list<std::array<std::string_view, 3>> vehicles);

/// Records every call a run makes, in order, as short text lines:
///   "close off" / "close on", "caption <text>", "events", "message <text>",
///   "entry <i> = <text>", "refresh".
class RecordingView : public convert::RunView {
public:
    std::vector<std::string> entries;
    int selected = -1;
    std::vector<std::string> log;
    /// Runs inside process_pending_events, as a window's queued events would.
    std::function<void()> on_events;
    /// Runs inside show_message after it is logged.
    std::function<void(const std::string&)> on_message;

    std::vector<std::string> messages() const;

    std::string selected_text() const override;
    int selected_index() const override { return selected; }
    std::string entry_text(int index) const override;
    void set_entry_text(int index, const std::string& text) override;
    void refresh_list() override { log.push_back("refresh"); }
    void set_close_enabled(bool enabled) override {
        log.push_back(enabled ? "close on" : "close off");
    }
    void set_close_caption(const std::string& caption) override {
        log.push_back("caption " + caption);
    }
    void process_pending_events() override;
    void show_message(const std::string& text) override;
};

}  // namespace testing_support
