#include "convert_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "ascii_text.h"
#include "test_support.h"

using namespace convert;
using namespace testing_support;
namespace fs = std::filesystem;

namespace {

const std::string kOverLong = source_with_a1({{"Zeta", "Z100", "1234"}});
const std::string kOldTarget =
    "previous target, longer than the new one ..........................";
const std::string kOverLongMessage =
    "Model: Zeta  Z100\r\n\r\nField: A1  Response Length:  4   Response: 1234  is longer than: 3";
const std::string kNotSaved = "Could not Save existing file.  Data not saved.";
const std::string kNotDeleted = "Could not Delete existing file.  Data not saved.";

std::vector<std::string> upper_names(std::vector<std::string> names) {
    for (std::string& name : names) name = upper(name);
    std::sort(names.begin(), names.end());
    return names;
}

/// The folder's entries afterwards and SP1999.TXT's bytes, if it is a file.
void expect_folder(const ScopedTempDir& dir, const std::vector<std::string>& names,
                   const std::string& target) {
    if (dir.tells_case_apart()) {
        EXPECT_EQ(dir.names(), names);
    } else {
        // The system keeps an old file's name in its own case.
        EXPECT_EQ(upper_names(dir.names()), upper_names(names));
    }
    if (fs::is_regular_file(dir / "SP1999.TXT")) {
        EXPECT_EQ(read_file(dir / "SP1999.TXT"), target);
    }
}

struct RunCase {
    const char* what;
    std::string name;
    std::function<void(const ScopedTempDir&)> files;
    RunOutcome outcome;
    std::vector<std::string> messages;
    std::vector<std::string> names_after;  // the folder's entries afterwards
    std::string target_after;              // SP1999.TXT's bytes afterwards, if a file
};

TEST(ConvertFile, OutcomesWithTheirMessagesAndFiles) {
    const std::vector<RunCase> cases = {
        {"success",
         "SPE1999.CSV",
         [](auto& d) {
             write_file(d / "SPE1999.CSV", kValid);
             write_file(d / "SP1999.TXT", kOldTarget);
         },
         RunOutcome::converted,
         {"Done."},
         {"SP1999.TXT", "SPE1999.CSV"},
         std::string(kExampleTarget)},
        {"a name in lower case",
         "spe1999.csv",
         [](auto& d) { write_file(d / "spe1999.csv", kValid); },
         RunOutcome::converted,
         {"Done."},
         {"SP1999.TXT", "spe1999.csv"},
         std::string(kExampleTarget)},
        {"a name of any length, its target from the four characters after SPE",
         "SPE1999-new.csv",
         [](auto& d) { write_file(d / "SPE1999-new.csv", kValid); },
         RunOutcome::converted,
         {"Done."},
         {"SP1999.TXT", "SPE1999-new.csv"},
         std::string(kExampleTarget)},
        {"an old target in lower case is the one replaced",
         "SPE1999.CSV",
         [](auto& d) {
             write_file(d / "SPE1999.CSV", kValid);
             write_file(d / "sp1999.txt", kOldTarget);
         },
         RunOutcome::converted,
         {"Done."},
         {"SP1999.TXT", "SPE1999.CSV"},
         std::string(kExampleTarget)},
        {"header only",
         "SPE1999.CSV",
         [](auto& d) { write_file(d / "SPE1999.CSV", crlf_lines({kFullHeader})); },
         RunOutcome::converted,
         {"Done."},
         {"SP1999.TXT", "SPE1999.CSV"},
         "\r\n"},
        {"empty source",
         "SPE1999.CSV",
         [](auto& d) { write_file(d / "SPE1999.CSV", ""); },
         RunOutcome::converted,
         {"Done."},
         {"SP1999.TXT", "SPE1999.CSV"},
         "\r\n"},
        {"not an SPE file",
         "notes.csv",
         [](auto& d) { write_file(d / "notes.csv", kValid); },
         RunOutcome::invalid_name,
         {"Invalid file name: NOTES.CSV"},
         {"notes.csv"},
         ""},
        {"over-long value",
         "SPE1999.CSV",
         [](auto& d) {
             write_file(d / "SPE1999.CSV", kOverLong);
             write_file(d / "SP1999.TXT", kOldTarget);
         },
         RunOutcome::values_too_long,
         {kOverLongMessage, "Data not converted."},
         {"SP1999.TXT", "SPE1999.CSV"},
         kOldTarget},
        {"a first line naming no known column",
         "SPE1999.CSV",
         [](auto& d) {
             write_file(d / "SPE1999.CSV", crlf_lines({"Year,Remark,Editor", "2019,Sent,Ann"}));
             write_file(d / "SP1999.TXT", kOldTarget);
         },
         RunOutcome::no_known_column,
         {"No known column in the first line of SPE1999.CSV.  Data not converted."},
         {"SP1999.TXT", "SPE1999.CSV"},
         kOldTarget},
        {"absent source",
         "SPE1999.CSV",
         [](auto& d) { write_file(d / "SP1999.TXT", kOldTarget); },
         RunOutcome::source_missing,
         {"Could not find SPE1999.CSV.  Data not converted."},
         {"SP1999.TXT"},
         kOldTarget},
        {"unreadable source",
         "SPE1999.CSV",
         [](auto& d) {
             make_unreadable(d / "SPE1999.CSV");
             write_file(d / "SP1999.TXT", kOldTarget);
         },
         RunOutcome::source_unreadable,
         {"Could not read SPE1999.CSV.  Data not converted."},
         {"SP1999.TXT", "SPE1999.CSV"},
         kOldTarget},
        {"a folder where the target goes",
         "SPE1999.CSV",
         [](auto& d) {
             write_file(d / "SPE1999.CSV", kValid);
             fs::create_directory(d / "SP1999.TXT");
         },
         RunOutcome::replace_failed,
         {kNotDeleted},
         {"SP1999.TXT", "SPE1999.CSV"},
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScopedTempDir dir;
        c.files(dir);
        const Ran ran = run_file(dir.path(), c.name);
        EXPECT_EQ(ran.outcome, c.outcome);
        EXPECT_EQ(ran.messages, c.messages);
        expect_folder(dir, c.names_after, c.target_after);
    }
}

// Whatever fails, and wherever: the old target stays byte for byte, no
// temporary is left, and the message says what happened.
TEST(ConvertFile, FailuresLeaveTheOldTargetAndNoTemporary) {
    using Step = AtomicFile::Step;
    // Refuses the step once it has been taken `after` times.
    auto refusing = [](Step refused, int after = 0) {
        RunOptions options;
        options.target.refuse = [=, taken = std::make_shared<int>(0)](Step step) {
            return step == refused && (*taken)++ >= after;
        };
        options.block_size = 16;
        return options;
    };
    auto named = [&](Step refused) {
        RunOptions options = refusing(refused);
        options.target.temporary = AtomicFile::Temporary::named;
        return options;
    };
    auto reading = [](int good_blocks, std::size_t block) {
        RunOptions options;
        options.open = failing_after(good_blocks, block);
        options.block_size = block;
        return options;
    };
    const std::string read_failed = "Could not read SPE1999.CSV.  Data not converted.";
    const std::string three_lines = crlf_lines({kFullHeader, kExampleLine, kExampleLine});
    const struct {
        const char* what;
        std::string source;
        RunOptions options;
        RunOutcome outcome;
        std::vector<std::string> messages;
    } cases[] = {
        {"the first read fails",
         kValid,
         reading(0, kBlockSize),
         RunOutcome::source_unreadable,
         {read_failed}},
        {"a read fails after one block",
         three_lines,
         reading(1, 16),
         RunOutcome::source_unreadable,
         {read_failed}},
        {"a read fails after five blocks",
         three_lines,
         reading(5, 16),
         RunOutcome::source_unreadable,
         {read_failed}},
        {"a read fails after ten blocks of 7",
         three_lines,
         reading(10, 7),
         RunOutcome::source_unreadable,
         {read_failed}},
        {"a read fails after the over-long value",
         source_with_a1({{"Zeta", "Z100", "1234"}, {"A", "B", "1"}, {"A", "B", "1"}}),
         reading(10, 16),
         RunOutcome::source_unreadable,
         {kOverLongMessage, read_failed}},
        {"the temporary cannot be made",
         kValid,
         refusing(Step::create),
         RunOutcome::write_failed,
         {kNotSaved}},
        {"the first write fails",
         kValid,
         refusing(Step::write),
         RunOutcome::write_failed,
         {kNotSaved}},
        {"a write fails midway",
         three_lines,
         refusing(Step::write, 1),
         RunOutcome::write_failed,
         {kNotSaved}},
        {"a write fails, a value over-long",
         kOverLong,
         refusing(Step::write),
         RunOutcome::values_too_long,
         {kOverLongMessage, "Data not converted."}},
        {"the final flush fails",
         kValid,
         refusing(Step::flush),
         RunOutcome::write_failed,
         {kNotSaved}},
        {"the final flush of a named temporary fails",
         kValid,
         named(Step::flush),
         RunOutcome::write_failed,
         {kNotSaved}},
        {"the rename fails",
         kValid,
         refusing(Step::replace),
         RunOutcome::replace_failed,
         {kNotDeleted}},
        {"the rename of a named temporary fails",
         kValid,
         named(Step::replace),
         RunOutcome::replace_failed,
         {kNotDeleted}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScopedTempDir dir;
        write_file(dir / "SPE1999.CSV", c.source);
        write_file(dir / "SP1999.TXT", kOldTarget);
        const Ran ran = run_file(dir.path(), "SPE1999.CSV", c.options);
        EXPECT_EQ(ran.outcome, c.outcome);
        EXPECT_EQ(ran.messages, c.messages);
        EXPECT_EQ(dir.names(), (std::vector<std::string>{"SP1999.TXT", "SPE1999.CSV"}));
        EXPECT_EQ(read_file(dir / "SP1999.TXT"), kOldTarget);
    }
}

TEST(ConvertFile, CheckingWritesNothingAndReportsProgress) {
    ScopedTempDir dir;
    std::string source = std::string(kFullHeader) + "\r\n";
    for (int i = 0; i < 40; ++i) source.append(kExampleLine).append("\r\n");
    write_file(dir / "SPE1999.CSV", source);
    RecordingReport report;
    const RunResult result = convert_file({dir.path(), "SPE1999.CSV", "SPE1999.CSV"},
                                          {.write_target = false, .block_size = 1000}, report);
    EXPECT_EQ(result.outcome, RunOutcome::checked);
    EXPECT_EQ(result.message, "");
    EXPECT_EQ(dir.names(), std::vector<std::string>{"SPE1999.CSV"});
    // At most a block at a time, up to the whole source.
    ASSERT_GE(report.read_so_far.size(), source.size() / 1000);
    std::uint64_t before = 0;
    for (const std::uint64_t done : report.read_so_far) {
        EXPECT_LE(done - before, 1000u);
        EXPECT_GE(done, before);
        before = done;
    }
    EXPECT_EQ(report.read_so_far.back(), source.size());
}

TEST(ConvertFile, AnUnexpectedErrorIsReportedAndWritesNothing) {
    ScopedTempDir dir;
    write_file(dir / "SPE1999.CSV", kOverLong);
    RecordingReport report;
    report.on_message = [](const std::string&) { throw std::runtime_error("display lost"); };
    const RunResult result = convert_file({dir.path(), "SPE1999.CSV", "SPE1999.CSV"}, {}, report);
    EXPECT_EQ(result.outcome, RunOutcome::failed);
    EXPECT_EQ(result.message, "Could not convert SPE1999.CSV (display lost).  Data not converted.");
    EXPECT_EQ(dir.names(), std::vector<std::string>{"SPE1999.CSV"});
}

}  // namespace
