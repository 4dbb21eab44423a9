#include "window_shared/year_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.h"

using namespace convert;
using namespace testing_support;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> labels(const YearList& list) {
    std::vector<std::string> result;
    for (const YearEntry& entry : list.entries()) result.push_back(entry.label());
    return result;
}

TEST(YearList, CsvFilesInNameOrderWithTheirLocalDates) {
    ScopedTempDir dir;
    write_file(dir / "spe2001.csv", "x");
    set_modified(dir / "spe2001.csv", 2001, 5, 17);
    write_file(dir / "NOTES.CSV", "x");
    set_modified(dir / "NOTES.CSV", 2002, 1, 2);
    write_file(dir / "Annual.Csv", "x");  // first by name, not by length
    set_modified(dir / "Annual.Csv", 2001, 5, 17);
    write_file(dir / "readme.txt", "x");
    write_file(dir / "csv", "x");
    fs::create_directory(dir / "x.csv");
    set_modified(write_hidden_file(dir.path(), "hidden.csv"), 2001, 5, 17);
    const YearList list(dir.path());
    EXPECT_EQ(labels(list),
              (std::vector<std::string>{"ANNUAL.CSV - 2001-05-17", "NOTES.CSV - 2002-01-02",
                                        "SPE2001.CSV - 2001-05-17"}));
    EXPECT_EQ(list.entries()[2].file_name, "spe2001.csv");
    EXPECT_TRUE(YearList(dir / "missing").entries().empty());
}

TEST(YearList, RefusalsReadTheShownText) {
    const struct {
        const char* name;
        bool converted;
        std::optional<std::string> refusal;
    } cases[] = {
        {"spe1999.csv", false, std::nullopt},
        {"SPE1999.CSV", true, "*SPE1999.CS is already converted"},
        {"DATA.CSV", false, "Invalid file name: DATA.CSV -"},
        {"notes-about-spe.csv", false, "Invalid file name: NOTES-ABOUT"},
        {"SPE1999-backup.csv", false, std::nullopt},
    };
    for (const auto& c : cases) {
        ScopedTempDir dir;
        write_file(dir / c.name, kValid);
        YearList list(dir.path());
        if (c.converted) list.mark_converted(0);
        EXPECT_EQ(list.refusal(0), c.refusal) << c.name;
    }
}

}  // namespace
