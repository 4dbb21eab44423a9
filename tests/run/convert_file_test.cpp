#include "run/convert_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "compound_writer.h"
#include "run/messages.h"
#include "test_support.h"

using namespace convert;
using namespace testing_support;
namespace fs = std::filesystem;

namespace {

using namespace testing_support::endings;
using Step = AtomicFile::Step;

const std::string kOverLong = source_with_a1({{"Zeta", "Z100", "1234"}});
const std::string kOld = "previous target, longer than the new one ..........................";
const std::string kTooLong =
    "Model: Zeta  Z100\r\n\r\nField: A1  Response Length:  4   Response: 1234  is longer than: 3";
const std::string kNotSaved = "Could not Save existing file.  Data not saved.";
const std::string kRowTooLong = "Row 2 of SPE1999.CSV is longer than 16 MB.  Data not converted.";
const std::string kNotDeleted = "Could not Delete existing file.  Data not saved.";
const std::string kNotRead = "Could not read SPE1999.CSV.  Data not converted.";
const std::string kGone = "the device went away";  // a failing read's own reason
const std::string kUnreadable = "<unreadable>";    // a source that exists but cannot be read
const std::string kFolder = "<folder>";            // a folder where the target goes
const std::string kReadOnly = "<read-only>";       // an old target no one may write

struct RunCase {
    const char* what;
    std::string source;   // the source written, if any, and the name converted
    std::string content;  // its bytes
    Ending outcome;
    std::vector<std::string> messages;
    std::string old_target = "SP1999.TXT";  // written beside it with kOld, or kFolder
};

// Converted or not, the folder holds afterwards only the source and the new
// or the old target.
TEST(ConvertFile, OutcomesWithTheirMessagesAndFiles) {
    const std::string unknown = crlf_lines({"Year,Remark,Editor", "2019,Sent,Ann"});
    const std::vector<RunCase> cases = {
        {"success", "SPE1999.CSV", kValid, converted, {"Done."}},
        {"a name in lower case", "spe1999.csv", kValid, converted, {"Done."}},
        {"a name of any length", "SPE1999-new.csv", kValid, converted, {"Done."}},
        {"an old target in lower case", "SPE1999.CSV", kValid, converted, {"Done."}, "sp1999.txt"},
        {"no old target", "SPE1999.CSV", kValid, converted, {"Done."}, ""},
        {"not an SPE file", "notes.csv", kValid, invalid_name, {"Invalid file name: NOTES.CSV"}},
        {"over-long value",
         "SPE1999.CSV",
         kOverLong,
         values_rejected,
         {kTooLong, "Data not converted."}},
        {"a first line naming no known column",
         "SPE1999.CSV",
         unknown,
         no_known_column,
         {"No known column in the first line of SPE1999.CSV.  Data not converted."}},
        {"unreadable source",
         "SPE1999.CSV",
         kUnreadable,
         source_unreadable,
         {kNotRead, unreadable_reason()}},
        {"a folder where the target goes",
         "SPE1999.CSV",
         kValid,
         replace_failed,
         {kNotDeleted, "A folder has its name."},
         kFolder},
        {"a read-only target is kept",
         "SPE1999.CSV",
         kValid,
         replace_failed,
         {kNotDeleted, "The file is read-only."},
         kReadOnly},
        {"a header alone",
         "SPE1999.CSV",
         crlf_lines({kFullHeader}),
         no_rows,
         {"No rows of data in SPE1999.CSV.  Data not converted."}},
        {"a workbook", "SPE1999.xlsx", workbook_of(kValid), converted, {"Done."}},
        {"an OpenDocument one", "spe1999.ods", workbook_of(kValid, true), converted, {"Done."}},
        {"a workbook's value too long",
         "SPE1999.xlsx",
         workbook_of(kOverLong),
         values_rejected,
         {kTooLong, "Data not converted."}},
        {"a workbook's error in a field",
         "SPE1999.xlsx",
         workbook_of(source_with_a1({{"Zeta", "Z1", "#N/A"}})),
         cell_refused,
         {"Cell C2 of SPE1999.XLSX holds the error #N/A.  Data not converted."}},
        {"and in a column the target does not take",
         "SPE1999.xlsx",
         workbook_of(crlf_lines(
             {std::string(kFullHeader) + ",NOTES", std::string(kExampleLine) + ",#REF!"})),
         converted,
         {"Done."}},
        {"a workbook whose header is in row 5, as its export reads",
         "SPE1999.xlsx",
         workbook_of("\r\n\r\n\r\n\r\n" + kValid),
         no_known_column,
         {"No known column in the first line of SPE1999.XLSX.  Data not converted."}},
        {"a workbook encrypted with a password",
         "SPE1999.xlsx",
         kCompound + std::string(504, '\0') + kEncryptedPackage,
         encrypted,
         {"SPE1999.XLSX is encrypted with a password.  Data not converted."}},
        {"a workbook encrypted with Excel's default password",
         "SPE1999.xlsx",
         make_compound({{"EncryptionInfo", standard_encryption_info(u"VelvetSweatshop", 128)},
                        {"EncryptedPackage", std::string(64, 'x')}}),
         default_password,
         {"SPE1999.XLSX is encrypted (with the default password Excel uses for protected "
          "workbooks); open and save it without protection."}},
        {"not a workbook",
         "SPE1999.ods",
         kValid,
         source_unreadable,
         {"Could not read SPE1999.ODS.  Data not converted.", "The file is not a zip archive."}},
        {"columns missing",
         "SPE1999.CSV",
         crlf_lines({"MAKE,MODEL,A1,B1,C1,D1,E1,F1,G1,OL,OW,OH,WB,CW,WDIST,MYR", "A,B,1"}),
         missing_columns,
         {"No column TWF, TWR in the first line of SPE1999.CSV.  Data not converted."}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScopedTempDir dir;
        if (c.content == kUnreadable) {
            make_unreadable(dir / c.source);
        } else {
            write_file(dir / c.source, c.content);
        }
        const std::string old_target = c.old_target == kReadOnly ? "SP1999.TXT" : c.old_target;
        if (c.old_target == kFolder) {
            fs::create_directory(dir / "SP1999.TXT");
        } else if (!c.old_target.empty()) {
            write_file(dir / old_target, kOld);
        }
        constexpr auto kWrite = fs::perms::owner_write;
        if (c.old_target == kReadOnly)
            fs::permissions(dir / old_target, kWrite, fs::perm_options::remove);
        const std::size_t descriptors = open_descriptors();
        const Ran ran = run_file(dir.path(), c.source);
        if (c.old_target == kReadOnly)
            fs::permissions(dir / old_target, kWrite, fs::perm_options::add);
        EXPECT_EQ(open_descriptors(), descriptors);
        EXPECT_EQ(ran.outcome, c.outcome);
        EXPECT_EQ(ran.messages, c.messages);
        // A replaced target keeps its spelling, on every system.
        const std::string target =
            old_target.empty() || old_target == kFolder ? "SP1999.TXT" : old_target;
        std::vector<std::string> names = {c.source};
        if (c.outcome == converted || !c.old_target.empty()) names.push_back(target);
        std::sort(names.begin(), names.end());
        EXPECT_EQ(dir.names(), names);
        if (c.old_target != kFolder && (c.outcome == converted || !c.old_target.empty())) {
            EXPECT_EQ(read_file(dir / target), c.outcome == converted ? kExampleTarget : kOld);
        }
    }
}

TEST(ConvertFile, AnAbsentSourceIsReportedAndChangesNothing) {
    ScopedTempDir dir;
    write_file(dir / "SP1999.TXT", kOld);
    const Ran ran = run_file(dir.path(), "SPE1999.CSV");
    EXPECT_EQ(ran.outcome, source_missing);
    EXPECT_EQ(ran.messages,
              std::vector<std::string>{"Could not find SPE1999.CSV.  Data not converted."});
    EXPECT_EQ(dir.names(), std::vector<std::string>{"SP1999.TXT"});
}

/// Files that refuse `refused` once it has been taken `after` times.
TestFiles refusing(
    Step refused, int after = 0,
    AtomicFile::Temporary temporary = AtomicFile::Temporary::unnamed_where_possible) {
    TestFiles files;
    files.save.refuse = [=, taken = std::make_shared<int>(0)](Step step) {
        return step == refused && (*taken)++ >= after;
    };
    files.save.temporary = temporary;
    files.block = 16;
    return files;
}

/// Files whose source is cut short by another program after its first read.
TestFiles cut_short() {
    TestFiles files;
    files.block = 16;
    files.after_first_read = [](const fs::path& path) { fs::resize_file(path, 150); };
    return files;
}

/// A header and a row of `length` bytes without a line end, made as they
/// are read.
class LongRowSource : public SourceBytes {
public:
    explicit LongRowSource(std::size_t length) : length_(length) {}
    std::uint64_t size() const override { return 0; }
    bool changed() const override { return false; }
    void read_at(std::uint64_t, char*, std::size_t) override { throw ReadError("not a workbook"); }
    std::size_t read(char* into, std::size_t size) override {
        const std::string_view header =
            "MAKE,MODEL,A1,B1,C1,D1,E1,F1,G1,OL,OW,OH,WB,TWF,TWR,CW,WDIST,MYR\r\n";
        std::size_t n = 0;
        for (; n < size && at_ < header.size() + length_; ++n, ++at_) {
            into[n] = at_ < header.size() ? header[at_] : 'x';
        }
        return n;
    }

private:
    std::size_t length_;
    std::size_t at_ = 0;
};

TestFiles long_row(std::size_t length) {
    TestFiles files;
    files.open_instead = [length](const fs::path&) {
        return OpenedSource{std::make_unique<LongRowSource>(length)};
    };
    return files;
}

/// Files whose source fails after `good_reads` reads of `block` bytes.
TestFiles reading(int good_reads, std::size_t block) {
    TestFiles files;
    files.good_reads = good_reads;
    files.block = block;
    return files;
}

// Whatever fails, and wherever: the old target stays byte for byte, no
// temporary is left, and the message says what happened.
TEST(ConvertFile, FailuresLeaveTheOldTargetAndNoTemporary) {
    constexpr auto kNamed = AtomicFile::Temporary::named;
    const std::string three_lines = crlf_lines({kFullHeader, kExampleLine, kExampleLine});
    const std::string late_over_long =
        source_with_a1({{"Zeta", "Z100", "1234"}, {"A", "B", "1"}, {"A", "B", "1"}});
    const struct {
        const char* what;
        std::string source;
        TestFiles files;
        Ending outcome;
        std::vector<std::string> messages;
    } cases[] = {
        {"the first read fails",
         kValid,
         reading(0, kBlockSize),
         source_unreadable,
         {kNotRead, kGone}},
        {"a read fails after a block",
         three_lines,
         reading(1, 16),
         source_unreadable,
         {kNotRead, kGone}},
        {"after five blocks", three_lines, reading(5, 16), source_unreadable, {kNotRead, kGone}},
        {"after ten blocks of 7",
         three_lines,
         reading(10, 7),
         source_unreadable,
         {kNotRead, kGone}},
        {"the source cut short while it is read",
         three_lines,
         cut_short(),
         source_changed,
         {"SPE1999.CSV changed while it was read.  Data not converted."}},
        {"a row of 17 MB", kValid, long_row(17 << 20), row_too_long, {kRowTooLong}},
        {"one byte over 16 MB", kValid, long_row(kLongestRow + 1), row_too_long, {kRowTooLong}},
        {"after an over-long value",
         late_over_long,
         reading(10, 16),
         source_unreadable,
         {kTooLong, kNotRead, kGone}},
        {"the temporary cannot be made",
         kValid,
         refusing(Step::create),
         write_failed,
         {kNotSaved, refused_reason()}},
        {"the first write fails",
         kValid,
         refusing(Step::write),
         write_failed,
         {kNotSaved, refused_reason()}},
        {"a write fails midway",
         three_lines,
         refusing(Step::write, 1),
         write_failed,
         {kNotSaved, refused_reason()}},
        {"a write fails, a value over-long",
         kOverLong,
         refusing(Step::write),
         values_rejected,
         {kTooLong, "Data not converted."}},
        {"the final flush fails",
         kValid,
         refusing(Step::flush),
         write_failed,
         {kNotSaved, refused_reason()}},
        {"that of a named temporary",
         kValid,
         refusing(Step::flush, 0, kNamed),
         write_failed,
         {kNotSaved, refused_reason()}},
        {"the rename fails",
         kValid,
         refusing(Step::replace),
         replace_failed,
         {kNotDeleted, refused_reason()}},
        {"that of a named temporary",
         kValid,
         refusing(Step::replace, 0, kNamed),
         replace_failed,
         {kNotDeleted, refused_reason()}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScopedTempDir dir;
        write_file(dir / "SPE1999.CSV", c.source);
        write_file(dir / "SP1999.TXT", kOld);
        const std::size_t descriptors = open_descriptors();
        const Ran ran = run_file(dir.path(), "SPE1999.CSV", c.files);
        EXPECT_EQ(open_descriptors(), descriptors);
        EXPECT_EQ(ran.outcome, c.outcome);
        EXPECT_EQ(ran.messages, c.messages);
        EXPECT_EQ(dir.names(), (std::vector<std::string>{"SP1999.TXT", "SPE1999.CSV"}));
        EXPECT_EQ(read_file(dir / "SP1999.TXT"), kOld);
    }
}

// Ctrl+C, or the end of a Windows session: the run stops at its next block
// and discards its new target.
TEST(ConvertFile, AStopAskedForEndsTheRunAndKeepsTheOldTarget) {
    std::atomic<bool> stop{false};
    TestFiles files;
    files.block = 16;
    files.after_first_read = [&stop](const fs::path&) { stop = true; };
    ScopedTempDir dir;
    write_file(dir / "SPE1999.CSV", crlf_lines({kFullHeader, kExampleLine, kExampleLine}));
    write_file(dir / "SP1999.TXT", kOld);
    RecordingReport report;
    const RunResult result =
        convert_file({dir.path(), "SPE1999.CSV"}, {.stop = &stop}, report, files);
    EXPECT_EQ(ending_of(result), stopped);
    EXPECT_EQ(closing_message(result, "SPE1999.CSV"), MessageLines{});
    EXPECT_EQ(report.read_so_far, std::vector<std::uint64_t>{16});
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"SP1999.TXT", "SPE1999.CSV"}));
    EXPECT_EQ(read_file(dir / "SP1999.TXT"), kOld);
    // A workbook's run stops between rows, whatever it reads.
    write_file(dir / "SPE1998.xlsx",
               workbook_of(source_with_a1({{"A", "B", "1234"}, {"A", "B", "1234"}})));
    RecordingReport book;
    book.on_message = [&stop](const std::string&) { stop = true; };
    stop = false;
    EXPECT_EQ(ending_of(convert_file({dir.path(), "SPE1998.xlsx"}, {.stop = &stop}, book)),
              stopped);
    EXPECT_EQ(book.messages.size(), 1u);
}

TEST(ConvertFile, CheckingWritesNothingAndReportsProgress) {
    ScopedTempDir dir;
    std::string source = std::string(kFullHeader) + "\r\n";
    for (int i = 0; i < 40; ++i) source.append(kExampleLine).append("\r\n");
    write_file(dir / "SPE1999.CSV", source);
    RecordingReport report;
    TestFiles files;
    files.block = 1000;
    const RunResult result =
        convert_file({dir.path(), "SPE1999.CSV"}, {.write_target = false}, report, files);
    EXPECT_EQ(ending_of(result), checked);
    EXPECT_EQ(closing_message(result, "SPE1999.CSV"), MessageLines{});
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
    // A workbook's parts, wherever they lie, never take it back.
    write_file(dir / "SPE1998.xlsx", workbook_of(source));
    RecordingReport book;
    convert_file({dir.path(), "SPE1998.xlsx"}, {.write_target = false}, book);
    EXPECT_TRUE(std::is_sorted(book.read_so_far.begin(), book.read_so_far.end()));
    EXPECT_EQ(book.read_so_far.back(), fs::file_size(dir / "SPE1998.xlsx"));
}

TEST(ConvertFile, AnUnexpectedErrorIsReportedAndWritesNothing) {
    const std::vector<std::pair<std::function<void()>, std::string>> cases = {
        {[] { throw std::runtime_error("display lost"); }, "display lost"},
        {[] { throw 42; }, "unexpected error"},
    };
    for (const auto& [fail, reason] : cases) {
        ScopedTempDir dir;
        write_file(dir / "SPE1999.CSV", kOverLong);
        RecordingReport report;
        report.on_message = [&fail](const std::string&) { fail(); };
        const RunResult result = convert_file({dir.path(), "SPE1999.CSV"}, {}, report);
        EXPECT_EQ(ending_of(result), failed);
        EXPECT_EQ(
            closing_message(result, "SPE1999.CSV"),
            MessageLines{"Could not convert SPE1999.CSV (" + reason + ").  Data not converted."});
        EXPECT_EQ(dir.names(), std::vector<std::string>{"SPE1999.CSV"});
    }
}

}  // namespace
