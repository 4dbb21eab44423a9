#include "year_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.h"

using namespace convert;
using namespace testing_support;
namespace fs = std::filesystem;

namespace {

TEST(YearList, CsvFilesInNameOrderWithTheirLocalDates) {
    ScopedTempDir dir;
    write_file(dir / "spe2001.csv", "x");
    set_modified(dir / "spe2001.csv", 2001, 5, 17);
    write_file(dir / "NOTES.CSV", "x");
    set_modified(dir / "NOTES.CSV", 2002, 1, 2);
    write_file(dir / "b.Csv", "x");
    set_modified(dir / "b.Csv", 2001, 5, 17);
    write_file(dir / "readme.txt", "x");
    write_file(dir / "csv", "x");
    fs::create_directory(dir / "x.csv");
    set_modified(write_hidden_file(dir.path(), "hidden.csv"), 2001, 5, 17);
    EXPECT_EQ(year_list_entries(dir.path()),
              (std::vector<std::string>{"B.CSV - 2001-05-17", "NOTES.CSV - 2002-01-02",
                                        "SPE2001.CSV - 2001-05-17"}));
}

TEST(YearList, AFolderThatCannotBeListedGivesNoEntries) {
    ScopedTempDir dir;
    EXPECT_TRUE(year_list_entries(dir / "missing").empty());
    EXPECT_TRUE(year_list_entries(dir.path()).empty());
}

}  // namespace
