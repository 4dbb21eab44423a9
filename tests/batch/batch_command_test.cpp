#include "batch_command.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "conversion_run.h"
#include "test_support.h"

using namespace convert;
using namespace testing_support;
namespace fs = std::filesystem;

namespace {

struct Ran {
    int status;
    std::string out;
    std::string err;
};

Ran batch(std::vector<std::string> args) {
    std::ostringstream out, err;
    const int status = run_batch(args, out, err);
    return {status, out.str(), err.str()};
}

const std::string kOverLong = source_with_a1({{"Zeta", "Z100", "1234"}, {"Ohm", "Z2", "12345"}});

struct BatchCase {
    const char* what;
    std::vector<std::string> args;  // "DIR" is replaced by the temporary folder
    int status;
    std::string out;
    std::string err;
    std::vector<std::string> names_after;
};

TEST(BatchCommand, ExitStatusAndMessages) {
    const std::vector<BatchCase> cases = {
        {"converts a named file",
         {"--folder", "DIR", "SPE1999.CSV"},
         0,
         "SPE1999.CSV: Done.\n",
         "",
         {"SP1999.TXT", "SPE1999.CSV", "SPE2000.CSV", "notes.csv"}},
        {"over-long values: one message each, then not converted",
         {"--folder=DIR", "spe2000.csv"},
         1,
         "",
         "spe2000.csv: Model: Zeta  Z100\n\nField: A1  Response Length:  4   Response: 1234  is "
         "longer than: 3\n"
         "spe2000.csv: Model: Ohm  Z2\n\nField: A1  Response Length:  5   Response: 12345  is "
         "longer than: 3\n"
         "spe2000.csv: Data not converted.\n",
         {"SPE1999.CSV", "SPE2000.CSV", "notes.csv"}},
        {"absent source",
         {"--folder", "DIR", "SPE2001.CSV"},
         1,
         "",
         "SPE2001.CSV: Could not find SPE2001.CSV.  Data not converted.\n",
         {"SPE1999.CSV", "SPE2000.CSV", "notes.csv"}},
        {"not a source file",
         {"--folder", "DIR", "notes.csv"},
         1,
         "",
         "notes.csv: Invalid file name: NOTES.CSV\n",
         {"SPE1999.CSV", "SPE2000.CSV", "notes.csv"}},
        {"check writes nothing",
         {"--check", "--folder", "DIR", "SPE1999.CSV"},
         0,
         "SPE1999.CSV: every value fits; nothing written.\n",
         "",
         {"SPE1999.CSV", "SPE2000.CSV", "notes.csv"}},
        {"check reports over-long values",
         {"--check", "--folder", "DIR", "SPE2000.CSV"},
         1,
         "",
         "SPE2000.CSV: Model: Zeta  Z100\n\nField: A1  Response Length:  4   Response: 1234  is "
         "longer than: 3\n"
         "SPE2000.CSV: Model: Ohm  Z2\n\nField: A1  Response Length:  5   Response: 12345  is "
         "longer than: 3\n"
         "SPE2000.CSV: Data not converted.\n",
         {"SPE1999.CSV", "SPE2000.CSV", "notes.csv"}},
        {"every SPE file of the folder, one failing, the rest converted",
         {"--folder", "DIR"},
         1,
         "SPE1999.CSV: Done.\n",
         "SPE2000.CSV: Model: Zeta  Z100\n\nField: A1  Response Length:  4   Response: 1234  is "
         "longer than: 3\n"
         "SPE2000.CSV: Model: Ohm  Z2\n\nField: A1  Response Length:  5   Response: 12345  is "
         "longer than: 3\n"
         "SPE2000.CSV: Data not converted.\n",
         {"SP1999.TXT", "SPE1999.CSV", "SPE2000.CSV", "notes.csv"}},
        {"a file with a folder part uses its own folder",
         {"--folder", "/nonexistent", "DIR/SPE1999.CSV"},
         0,
         "DIR/SPE1999.CSV: Done.\n",
         "",
         {"SP1999.TXT", "SPE1999.CSV", "SPE2000.CSV", "notes.csv"}},
        {"unknown option",
         {"--force"},
         2,
         "",
         "convert-batch: unknown option --force\nusage:",
         {"SPE1999.CSV", "SPE2000.CSV", "notes.csv"}},
        {"missing folder argument",
         {"SPE1999.CSV", "--folder"},
         2,
         "",
         "convert-batch: --folder needs a folder\nusage:",
         {"SPE1999.CSV", "SPE2000.CSV", "notes.csv"}},
        {"help", {"--help"}, 0, "usage:", "", {"SPE1999.CSV", "SPE2000.CSV", "notes.csv"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScopedTempDir dir;
        write_file(dir / "SPE1999.CSV", kValid);
        write_file(dir / "SPE2000.CSV", kOverLong);
        write_file(dir / "notes.csv", kValid);
        std::vector<std::string> args = c.args;
        auto fill = [&](std::string text) {
            for (std::size_t at; (at = text.find("DIR")) != std::string::npos;) {
                text.replace(at, 3, dir.path().string());
            }
            return text;
        };
        for (std::string& arg : args) arg = fill(arg);
        const Ran ran = batch(args);
        EXPECT_EQ(ran.status, c.status);
        // Usage texts are checked by their first line only.
        EXPECT_EQ(ran.out.substr(0, c.out == "usage:" ? 6 : std::string::npos), fill(c.out));
        EXPECT_EQ(ran.err.substr(0, c.err.size()), fill(c.err));
        if (c.err.empty()) {
            EXPECT_EQ(ran.err, "");
        }
        EXPECT_EQ(dir.names(), c.names_after);
        if (fs::exists(dir / "SP1999.TXT")) {
            EXPECT_EQ(read_file(dir / "SP1999.TXT"), kExampleTarget);
        }
    }
}

TEST(BatchCommand, FindsSourceFilesByNamePattern) {
    ScopedTempDir dir;
    for (const char* name : {"spe2001.CSV", "SPE1999.csv", "SPE19990.csv", "SPE199.csv",
                             "XSPE1999.csv", "SPE1999.txt", "Spe2000.Csv"}) {
        write_file(dir / name, "x");
    }
    fs::create_directory(dir / "SPE1998.csv");
    EXPECT_EQ(batch_source_names(dir.path()),
              (std::vector<std::string>{"SPE1999.csv", "Spe2000.Csv", "spe2001.CSV"}));
}

// The tool and the window run the same conversion: same bytes for the
// bundled samples.
TEST(BatchCommand, WritesTheSameTargetAsTheWindowsRun) {
    const fs::path sample = fs::path(CONVERT_SAMPLES_DIR) / "SPE2019.csv";
    ScopedTempDir by_window, by_tool;
    fs::copy_file(sample, by_window / "SPE2019.csv");
    fs::copy_file(sample, by_tool / "SPE2019.csv");

    RecordingView view;
    view.entries = {"SPE2019.CSV - 2020-03-02"};
    view.selected = 0;
    ConversionRun run(view, by_window.path());
    ASSERT_EQ(run.run(), RunOutcome::converted);
    ASSERT_EQ(batch({"--folder", by_tool.path().string()}).status, 0);

    const std::string target = read_file(by_tool / "SP2019.TXT");
    EXPECT_EQ(target, read_file(by_window / "SP2019.TXT"));
    EXPECT_EQ(target.rfind("<R><MA>Alder</MA><MO>Ridgeway LX</MO><DA>4DSFWDGAS5  A6 16 2  ", 0),
              0u);
}

}  // namespace
