#include "files/file_ops.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "files/file_ops_internal.h"
#include "test_support.h"

using namespace convert;
using namespace testing_support;
namespace fs = std::filesystem;

namespace {

struct ReadResult {
    FileStep status;
    std::string content;
};

/// G_READ's file read to its end, a few bytes at a time.
ReadResult read_whole(const fs::path& path) {
    OpenedSource opened = open_source(path);
    ReadResult result{opened.failed, ""};
    char block[7];
    if (opened.value) {
        while (const std::size_t n = opened.value->read(block, sizeof block)) {
            result.content.append(block, n);
        }
    }
    return result;
}

struct ReadCase {
    const char* what;
    std::function<void(const ScopedTempDir&)> setup;
    FileStep status;
    std::string content;
};

void expect_reads(const std::vector<ReadCase>& cases) {
    for (const auto& c : cases) {
        ScopedTempDir dir;
        c.setup(dir);
        const ReadResult r = read_whole(dir / "SPE1999.CSV");
        EXPECT_EQ(r.status, c.status) << c.what;
        EXPECT_EQ(r.content, c.content) << c.what;
    }
}

TEST(ReadFile, ResultsTellAbsentUnreadableAndContentApart) {
    const std::string bytes("\xef\xbb\xbfMAKE\0\xff\r\n", 10);
    expect_reads({
        {"absent", [](auto&) {}, FileStep::find, ""},
        {"content -1 is content", [](auto& d) { write_file(d / "SPE1999.CSV", "-1"); },
         FileStep::none, "-1"},
        {"empty file", [](auto& d) { write_file(d / "SPE1999.CSV", ""); }, FileStep::none, ""},
        {"bytes as they are, BOM and NUL kept",
         [&](auto& d) { write_file(d / "SPE1999.CSV", bytes); }, FileStep::none, bytes},
        {"stored in lower case", [](auto& d) { write_file(d / "spe1999.csv", "lower"); },
         FileStep::none, "lower"},
        {"a folder is not a file", [](auto& d) { fs::create_directory(d / "SPE1999.CSV"); },
         FileStep::find, ""},
        {"unreadable", [](auto& d) { make_unreadable(d / "SPE1999.CSV"); }, FileStep::read, ""},
    });
}

// A workbook is read where its parts lie: a file another program cuts short
// meanwhile must end the read, not spin on reads that give nothing.
TEST(ReadFile, ReadingAtAnOffsetPastAShortenedEnd) {
    ScopedTempDir dir;
    write_file(dir / "SPE1999.xlsx", std::string(100, 'x'));
    OpenedSource opened = open_source(dir / "SPE1999.xlsx");
    ASSERT_TRUE(opened.value);
    fs::resize_file(dir / "SPE1999.xlsx", 40);
    char into[20];
    opened.value->read_at(20, into, 20);
    EXPECT_THROW(opened.value->read_at(30, into, 20), ReadError);
}

TEST(ReadFile, CaseVariantsWhereTheFileSystemTellsThemApart) {
    if (!ScopedTempDir().tells_case_apart()) {
        GTEST_SKIP() << "this file system does not tell names apart by case";
    }
    expect_reads({
        {"exact name before a case variant",
         [](auto& d) {
             write_file(d / "spe1999.csv", "lower");
             write_file(d / "SPE1999.CSV", "exact");
         },
         FileStep::none, "exact"},
        {"first case variant in name order",
         [](auto& d) {
             write_file(d / "spe1999.csv", "lower");
             write_file(d / "Spe1999.csv", "mixed");
         },
         FileStep::none, "mixed"},
        {"a folder does not hide a file of another case",
         [](auto& d) {
             fs::create_directory(d / "SPE1999.CSV");
             write_file(d / "spe1999.csv", "file");
         },
         FileStep::none, "file"},
    });
}

TEST(ListFiles, DatesAreLocalNearMidnight) {
    const FarEastZone zone;
    if (!zone.active()) GTEST_SKIP() << "the zone is not 14 hours east of UTC; run with TZ=XST-14";
    using namespace std::chrono;
    const sys_days may16 = 2001y / May / 16;
    const struct {
        const char* name;
        sys_seconds utc;
        const char* date;
    } cases[] = {
        {"midnight.csv", may16 + 10h, "2001-05-17"},
        {"before-midnight.csv", may16 + 33h + 59min, "2001-05-17"},
        {"the-day-before.csv", may16 + 9h + 59min, "2001-05-16"},
    };
    ScopedTempDir dir;
    for (const auto& c : cases) {
        write_file(dir / c.name, "x");
        fs::last_write_time(dir / c.name, file_clock::from_sys(c.utc));
    }
    for (const ListedFile& file : list_files(dir.path()).value) {
        for (const auto& c : cases) {
            if (file.name == c.name) {
                EXPECT_EQ(file.date, c.date) << c.name;
            }
        }
    }
}

TEST(SaveFile, AFolderThatIsGoneTakesNothing) {
    ScopedTempDir dir;
    EXPECT_EQ(save_file(dir / "missing" / "SP1999.TXT", "new"), FileStep::write);
    EXPECT_TRUE(dir.names().empty());
}

TEST(SaveFile, RemovesOnlyStaleTemporariesOfItsOwnTarget) {
    ScopedTempDir dir;
    const std::string gone = "999999999";  // no process has this number
    const std::string running = std::to_string(platform::current_process_id());
    const std::vector<std::string> kept = {
        ".SP1999.TXT." + running + ".9.tmp",  // a writer still at work
        ".SP2000.TXT." + gone + ".0.tmp",     // another target's
        ".SP1999.TXT.x.0.tmp",                // not of the form
        ".SP1999.TXT." + gone + ".0.tmp.bak",
        "SP1999.TXT." + gone + ".0.tmp",
    };
    for (const std::string& name : kept) write_file(dir / name, "kept");
    write_file(dir / (".SP1999.TXT." + gone + ".0.tmp"), "stale");
    write_file(dir / (".sp1999.txt." + gone + ".12.TMP"), "stale");
    EXPECT_EQ(save_file(dir / "SP1999.TXT", "new"), FileStep::none);
    std::vector<std::string> expected = kept;
    expected.push_back("SP1999.TXT");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(dir.names(), expected);
}

TEST(LongPaths, PrefixedOnceAndOnlyWhereItMeansTheSame) {
    const struct {
        std::wstring full;
        std::wstring prefixed;
    } cases[] = {
        {L"C:\\data\\SP1999.TXT", L"\\\\?\\C:\\data\\SP1999.TXT"},
        {L"z:\\", L"\\\\?\\z:\\"},
        {L"\\\\server\\share\\SP1999.TXT", L"\\\\?\\UNC\\server\\share\\SP1999.TXT"},
        {L"\\\\?\\C:\\data", L"\\\\?\\C:\\data"},
        {L"\\\\?\\UNC\\server\\share", L"\\\\?\\UNC\\server\\share"},
        {L"\\\\.\\COM1", L"\\\\.\\COM1"},
        {L"C:relative", L"C:relative"},
        {L"\\rooted", L"\\rooted"},
        {L"relative\\name", L"relative\\name"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(long_path_form(c.full), c.prefixed) << bytes_of(fs::path(c.full));
    }
}

}  // namespace
