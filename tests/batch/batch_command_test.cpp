#include "batch/batch_command.h"

#include <gtest/gtest.h>

#include <atomic>
#include <sstream>
#include <string>
#include <vector>

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

/// Runs convert-batch with `args`, bytes as the tests write them.
Ran batch(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    std::vector<fs::path> paths;
    for (const std::string& arg : args) paths.push_back(path_of(arg));
    const int status = run_batch(paths, out, err);
    return {status, out.str(), err.str()};
}

const std::string kOverLong = source_with_a1({{"Zeta", "Z100", "1234"}, {"Ohm", "Z2", "12345"}});
const std::string kUsage = batch({"--help"}).out;
const std::string kBoth =
    "Both SPE2001.CSV and SPE2001-new.csv convert to SP2001.TXT.  Data not converted.\n";

std::string over_long(const std::string& label) {
    return label + ": Model: Zeta  Z100\n\nField: A1  Response Length:  4   Response: 1234  is " +
           "longer than: 3\n" + label +
           ": Model: Ohm  Z2\n\nField: A1  Response Length:  5   Response: 12345  is longer " +
           "than: 3\n" + label + ": Data not converted.\n";
}

struct BatchCase {
    const char* what;
    std::vector<std::string> args;  // after --folder @DIR@, the temporary folder
    int status;
    std::string out;
    std::string err;
    std::vector<std::string> targets_after;  // SP*.TXT files written
};

// The folder holds SPE1999.CSV, SPE2001.CSV and the workbook SPE2002.xlsx
// (all fit), SPE2000.CSV (over-long values), SPE2001-new.csv (fits),
// notes.csv and empty/.
TEST(BatchCommand, ExitStatusAndExactStreams) {
    const std::string done_1999_2001 = "SPE1999.CSV: Done.\nSPE2001.CSV: Done.\n";
    const std::string invalid = "notes.csv: Invalid file name: notes.csv\n";
    const std::vector<std::string> both = {"SP1999.TXT", "SP2001.TXT"};
    const std::vector<BatchCase> cases = {
        {"converts a named file", {"SPE1999.CSV"}, 0, "SPE1999.CSV: Done.\n", "", {"SP1999.TXT"}},
        {"a name of any length",
         {"SPE2001-new.csv"},
         0,
         "SPE2001-new.csv: Done.\n",
         "",
         {"SP2001.TXT"}},
        {"over-long values",
         {"--folder=@DIR@", "spe2000.csv"},
         1,
         "",
         over_long("spe2000.csv"),
         {}},
        {"absent source, named as given",
         {"SPE2002-Final.CSV"},
         1,
         "",
         "SPE2002-Final.CSV: Could not find SPE2002-Final.CSV.  Data not converted.\n",
         {}},
        {"not a source file", {"notes.csv"}, 1, "", invalid, {}},
        {"check writes nothing",
         {"--check", "SPE1999.CSV"},
         0,
         "SPE1999.CSV: every value fits; nothing written.\n",
         "",
         {}},
        {"check reports over-long values",
         {"--check", "SPE2000.CSV"},
         1,
         "",
         over_long("SPE2000.CSV"),
         {}},
        {"a failing file first",
         {"SPE2000.CSV", "SPE1999.CSV", "SPE2001.CSV"},
         1,
         done_1999_2001,
         over_long("SPE2000.CSV"),
         both},
        {"a failing file in the middle",
         {"SPE1999.CSV", "notes.csv", "SPE2001.CSV"},
         1,
         done_1999_2001,
         invalid,
         both},
        {"a failing file last",
         {"SPE1999.CSV", "SPE2001.CSV", "notes.csv"},
         1,
         done_1999_2001,
         invalid,
         both},
        {"every SPE file of the folder, workbooks too",
         {},
         1,
         done_1999_2001 + "SPE2002.xlsx: Done.\n",
         over_long("SPE2000.CSV"),
         {"SP1999.TXT", "SP2001.TXT", "SP2002.TXT"}},
        {"two files of one target are both refused, the others converted",
         {"SPE2001.CSV", "SPE1999.CSV", "SPE2001-new.csv"},
         1,
         "SPE1999.CSV: Done.\n",
         "SPE2001.CSV: " + kBoth + "SPE2001-new.csv: " + kBoth,
         {"SP1999.TXT"}},
        {"and both checked",
         {"--check", "SPE2001.CSV", "SPE2001-new.csv"},
         0,
         "SPE2001.CSV: every value fits; nothing written.\n"
         "SPE2001-new.csv: every value fits; nothing written.\n",
         "",
         {}},
        {"one file named twice converts once",
         {"SPE1999.CSV", "@DIR@/SPE1999.CSV"},
         0,
         "SPE1999.CSV: Done.\n",
         "",
         {"SP1999.TXT"}},
        {"a file with a folder part uses its own",
         {"--folder", "/no", "@DIR@/SPE1999.CSV"},
         0,
         "@DIR@/SPE1999.CSV: Done.\n",
         "",
         {"SP1999.TXT"}},
        {"after --, names that look like options",
         {"--", "--check"},
         1,
         "",
         "--check: Invalid file name: --check\n",
         {}},
        {"an empty folder",
         {"--folder", "@DIR@/empty"},
         1,
         "",
         "convert-batch: no SPE files in @DIR@/empty\n",
         {}},
        {"a folder that is not there, and why",
         {"--folder", "@DIR@/nowhere"},
         1,
         "",
         "convert-batch: no SPE files in @DIR@/nowhere\n@DIR@/nowhere: " + missing_reason() + "\n",
         {}},
        {"unknown option",
         {"--force"},
         2,
         "",
         "convert-batch: unknown option --force\n" + kUsage,
         {}},
        {"missing folder argument",
         {"SPE1999.CSV", "--folder"},
         2,
         "",
         "convert-batch: --folder needs a folder\n" + kUsage,
         {}},
        {"-h", {"-h"}, 0, kUsage, "", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScopedTempDir dir;
        write_file(dir / "SPE1999.CSV", kValid);
        write_file(dir / "SPE2000.CSV", kOverLong);
        write_file(dir / "SPE2001.CSV", kValid);
        write_file(dir / "SPE2001-new.csv", kValid);
        write_file(dir / "notes.csv", kValid);
        write_file(dir / "SPE2002.xlsx", workbook_of(kValid));
        fs::create_directory(dir / "empty");
        auto fill = [&](std::string text) {
            for (std::size_t at; (at = text.find("@DIR@")) != std::string::npos;) {
                text.replace(at, 5, dir.path().string());
            }
            return text;
        };
        std::vector<std::string> args = {"--folder", dir.path().string()};
        for (const std::string& arg : c.args) args.push_back(fill(arg));
        const Ran ran = batch(args);
        EXPECT_EQ(ran.status, c.status);
        EXPECT_EQ(ran.out, fill(c.out));
        EXPECT_EQ(ran.err, fill(c.err));
        std::vector<std::string> targets;
        for (const std::string& name : dir.names()) {
            if (name.ends_with(".TXT")) targets.push_back(name);
        }
        EXPECT_EQ(targets, c.targets_after);
        for (const std::string& target : targets) {
            EXPECT_EQ(read_file(dir / target), kExampleTarget);
        }
    }
}

// Ctrl+C: the file under way stops, its target unchanged, and no other
// begins.
TEST(BatchCommand, AnInterruptionStopsTheRunAndSaysWhichTargetIsUnchanged) {
    ScopedTempDir dir;
    write_file(dir / "SPE1999.CSV", kValid);
    write_file(dir / "SPE2001.CSV", kValid);
    std::ostringstream out, err;
    const std::atomic<bool> stop{true};
    EXPECT_EQ(run_batch({"--folder", dir.path()}, out, err, false, &stop), kInterrupted);
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(err.str(), "convert-batch: interrupted; SP1999.TXT is unchanged.\n");
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"SPE1999.CSV", "SPE2001.CSV"}));
}

// The folder's yearly sources, in name order ignoring case; folders never.
TEST(BatchCommand, FindsTheFoldersYearlySources) {
    ScopedTempDir dir;
    for (const char* name : {"spe2001.CSV", "SPE1999.csv", "notes.csv", "Spe2000.Csv"}) {
        write_file(dir / name, "x");
    }
    fs::create_directory(dir / "SPE1998.csv");
    EXPECT_EQ(batch_source_names(dir.path()).value,
              (std::vector<fs::path>{"SPE1999.csv", "Spe2000.Csv", "spe2001.CSV"}));
}

#ifdef _WIN32
// Windows shells leave patterns to the program, which matches them against
// long names only; a folder given as "C:\My Data\" arrives with a stray
// quote and the arguments after it, and is refused.
TEST(BatchCommand, PatternsAndAStrayQuoteOnWindows) {
    ScopedTempDir dir;
    for (const char* name : {"SPE2001.CSV", "spe1999.csv", "notes.csv", "SPE1999.csv~"}) {
        write_file(dir / name, kValid);
    }
    const std::string folder = dir.path().string();
    const Ran ran = batch({"--folder", folder, "SPE*.csv", "SPX?.csv"});
    EXPECT_EQ(ran.status, 1);
    EXPECT_EQ(ran.out, "spe1999.csv: Done.\nSPE2001.CSV: Done.\n");
    EXPECT_EQ(ran.err, "convert-batch: no file matches SPX?.csv\n");
    for (const std::string& stray : {folder + "\" SPE1999.csv", folder + "\""}) {
        const Ran refused = batch({"--folder", stray});
        EXPECT_EQ(refused.status, 2);
        EXPECT_EQ(refused.err, "convert-batch: --folder " + stray +
                                   " holds a quote: a backslash before a closing quote keeps the "
                                   "quote, and the arguments after it, in the folder's name. "
                                   "Write the folder without its last backslash: --folder "
                                   "\"C:\\My Data\"\n" +
                                   kUsage);
    }
}
#endif

}  // namespace
