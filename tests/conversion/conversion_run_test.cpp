#include "conversion_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "test_support.h"
#include "text.h"

using namespace convert;
using namespace testing_support;
namespace fs = std::filesystem;

namespace {

const std::string kOverLong = source_with_a1({{"Zeta", "Z100", "1234"}});
const std::string kOldTarget =
    "previous target, longer than the new one ..........................";

const std::vector<std::string> kBusy = {"close off", "caption Working...", "events", "events"};
const std::vector<std::string> kIdle = {"close on", "caption Close"};

std::vector<std::string> join(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

std::vector<std::string> upper_names(std::vector<std::string> names) {
    for (std::string& name : names) upper_in_place(name);
    std::sort(names.begin(), names.end());
    return names;
}

struct RunCase {
    const char* what;
    std::string entry;
    std::function<void(const ScopedTempDir&)> files;
    RunOutcome outcome;
    std::vector<std::string> log;
    std::vector<std::string> names_after;  // the folder's entries afterwards
    std::string target_after;              // SP1999.TXT's bytes afterwards, if a file
};

TEST(ConversionRun, OutcomesWithTheirMessagesAndButtonStates) {
    const std::vector<RunCase> cases = {
        {"success",
         kEntry,
         [](auto& d) {
             write_file(d / "SPE1999.CSV", kValid);
             write_file(d / "SP1999.TXT", kOldTarget);
         },
         RunOutcome::converted,
         join({kBusy, kIdle, {"entry 0 = *" + kEntry, "refresh", "message Done."}}),
         {"SP1999.TXT", "SPE1999.CSV"},
         std::string(kExampleTarget)},
        {"entry and file in lower case",
         "spe1999.csv - 1999-05-03",
         [](auto& d) { write_file(d / "spe1999.csv", kValid); },
         RunOutcome::converted,
         join({kBusy, kIdle, {"entry 0 = *spe1999.csv - 1999-05-03", "refresh", "message Done."}}),
         {"SP1999.TXT", "spe1999.csv"},
         std::string(kExampleTarget)},
        {"an old target in lower case is the one replaced",
         kEntry,
         [](auto& d) {
             write_file(d / "SPE1999.CSV", kValid);
             write_file(d / "sp1999.txt", kOldTarget);
         },
         RunOutcome::converted,
         join({kBusy, kIdle, {"entry 0 = *" + kEntry, "refresh", "message Done."}}),
         {"SP1999.TXT", "SPE1999.CSV"},
         std::string(kExampleTarget)},
        {"header only",
         kEntry,
         [](auto& d) { write_file(d / "SPE1999.CSV", crlf_lines({kFullHeader})); },
         RunOutcome::converted,
         join({kBusy, kIdle, {"entry 0 = *" + kEntry, "refresh", "message Done."}}),
         {"SP1999.TXT", "SPE1999.CSV"},
         "\r\n"},
        {"empty source",
         kEntry,
         [](auto& d) { write_file(d / "SPE1999.CSV", ""); },
         RunOutcome::converted,
         join({kBusy, kIdle, {"entry 0 = *" + kEntry, "refresh", "message Done."}}),
         {"SP1999.TXT", "SPE1999.CSV"},
         "\r\n"},
        {"already converted",
         "*" + kEntry,
         [](auto& d) { write_file(d / "SPE1999.CSV", kValid); },
         RunOutcome::already_converted,
         {"message *SPE1999.CS is already converted"},
         {"SPE1999.CSV"},
         ""},
        {"not an SPE file",
         "DATA.CSV - 1999-05-03",
         [](auto&) {},
         RunOutcome::invalid_name,
         {"message Invalid file name: DATA.CSV -"},
         {},
         ""},
        {"over-long value",
         kEntry,
         [](auto& d) {
             write_file(d / "SPE1999.CSV", kOverLong);
             write_file(d / "SP1999.TXT", kOldTarget);
         },
         RunOutcome::values_too_long,
         join({kBusy,
               {"message Model: Zeta  Z100\r\n\r\nField: A1  Response Length:  4   Response: 1234 "
                " is longer than: 3"},
               kIdle,
               {"message Data not converted."}}),
         {"SP1999.TXT", "SPE1999.CSV"},
         kOldTarget},
        {"a first line naming no known column",
         kEntry,
         [](auto& d) {
             write_file(d / "SPE1999.CSV", crlf_lines({"Year,Remark,Editor", "2019,Sent,Ann"}));
             write_file(d / "SP1999.TXT", kOldTarget);
         },
         RunOutcome::no_known_column,
         join({kBusy,
               kIdle,
               {"message No known column in the first line of SPE1999.CSV.  Data not converted."}}),
         {"SP1999.TXT", "SPE1999.CSV"},
         kOldTarget},
        {"absent source",
         kEntry,
         [](auto& d) { write_file(d / "SP1999.TXT", kOldTarget); },
         RunOutcome::source_missing,
         join({kBusy, kIdle, {"message Could not find SPE1999.CSV.  Data not converted."}}),
         {"SP1999.TXT"},
         kOldTarget},
        {"name of another length is looked up by its first 11 characters",
         "SPE1999A.CSV - 1999-05-03",
         [](auto& d) { write_file(d / "SPE1999A.CSV", kValid); },
         RunOutcome::source_missing,
         join({kBusy, kIdle, {"message Could not find SPE1999A.CS.  Data not converted."}}),
         {"SPE1999A.CSV"},
         ""},
        {"unreadable source",
         kEntry,
         [](auto& d) {
             make_unreadable(d / "SPE1999.CSV");
             write_file(d / "SP1999.TXT", kOldTarget);
         },
         RunOutcome::source_unreadable,
         join({kBusy, kIdle, {"message Could not read SPE1999.CSV.  Data not converted."}}),
         {"SP1999.TXT", "SPE1999.CSV"},
         kOldTarget},
        {"a folder where the target goes",
         kEntry,
         [](auto& d) {
             write_file(d / "SPE1999.CSV", kValid);
             fs::create_directory(d / "SP1999.TXT");
         },
         RunOutcome::replace_failed,
         join({kBusy, kIdle, {"message Could not Delete existing file.  Data not saved."}}),
         {"SP1999.TXT", "SPE1999.CSV"},
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScopedTempDir dir;
        c.files(dir);
        RecordingView view;
        view.entries = {c.entry};
        view.selected = 0;
        ConversionRun run(view, dir.path());
        EXPECT_EQ(run.run(), c.outcome);
        EXPECT_EQ(view.log, c.log);
        if (dir.tells_case_apart()) {
            EXPECT_EQ(dir.names(), c.names_after);
        } else {
            // The system keeps an old file's name in its own case.
            EXPECT_EQ(upper_names(dir.names()), upper_names(c.names_after));
        }
        if (fs::is_regular_file(dir / "SP1999.TXT")) {
            EXPECT_EQ(read_file(dir / "SP1999.TXT"), c.target_after);
        }
        EXPECT_FALSE(run.busy());
    }
}

TEST(ConversionRun, EmptySelectionIsAnInvalidName) {
    ScopedTempDir dir;
    RecordingView view;
    ConversionRun run(view, dir.path());
    EXPECT_EQ(run.run(), RunOutcome::invalid_name);
    EXPECT_EQ(view.messages(), std::vector<std::string>{"Invalid file name: "});
}

TEST(ConversionRun, EveryOverLongValueIsShownWhileBusy) {
    ScopedTempDir dir;
    write_file(
        dir / "SPE1999.CSV",
        source_with_a1({{"Zeta", "Z1", "1234"}, {"Ohm", "Z2", "12"}, {"Zeta", "Z3", "12345"}}));
    RecordingView view;
    view.entries = {kEntry};
    view.selected = 0;
    ConversionRun run(view, dir.path());
    EXPECT_EQ(run.run(), RunOutcome::values_too_long);
    const std::vector<std::string> expected_messages = {
        "Model: Zeta  Z1\r\n\r\nField: A1  Response Length:  4   Response: 1234  is longer than: 3",
        "Model: Zeta  Z3\r\n\r\nField: A1  Response Length:  5   Response: 12345  is longer than: "
        "3",
        "Data not converted.",
    };
    EXPECT_EQ(view.messages(), expected_messages);
    EXPECT_EQ(view.log.at(5), "message " + expected_messages[1]);
    EXPECT_EQ(view.log.at(6), "close on");
}

TEST(ConversionRun, ADoubleClickDuringEventProcessingStartsNoSecondRun) {
    ScopedTempDir dir;
    write_file(dir / "SPE1999.CSV", kValid);
    write_file(dir / "SPE2000.CSV", kValid);
    RecordingView view;
    view.entries = {kEntry, "SPE2000.CSV - 2000-01-01"};
    view.selected = 0;
    ConversionRun run(view, dir.path());
    std::vector<RunOutcome> nested;
    view.on_events = [&] {
        view.selected = 1;  // the user clicks another entry meanwhile
        nested.push_back(run.run());
    };
    EXPECT_EQ(run.run(), RunOutcome::converted);
    EXPECT_EQ(nested,
              (std::vector<RunOutcome>{RunOutcome::already_running, RunOutcome::already_running}));
    // The mark goes on the entry the run began with.
    EXPECT_EQ(view.entries, (std::vector<std::string>{"*" + kEntry, "SPE2000.CSV - 2000-01-01"}));
    EXPECT_EQ(view.messages(), std::vector<std::string>{"Done."});
    EXPECT_EQ(read_file(dir / "SP1999.TXT"), kExampleTarget);
    EXPECT_FALSE(fs::exists(dir / "SP2000.TXT"));
}

TEST(ConversionRun, AnUnexpectedErrorIsReportedAndWritesNothing) {
    ScopedTempDir dir;
    write_file(dir / "SPE1999.CSV", kOverLong);
    RecordingView view;
    view.entries = {kEntry};
    view.selected = 0;
    view.on_message = [](const std::string& text) {
        if (text.rfind("Model:", 0) == 0) throw std::runtime_error("display lost");
    };
    ConversionRun run(view, dir.path());
    EXPECT_EQ(run.run(), RunOutcome::failed);
    const std::vector<std::string> tail(view.log.end() - 3, view.log.end());
    EXPECT_EQ(tail,
              (std::vector<std::string>{
                  "close on", "caption Close",
                  "message Could not convert SPE1999.CSV (display lost).  Data not converted."}));
    EXPECT_EQ(view.entries[0], kEntry);
    EXPECT_EQ(dir.names(), std::vector<std::string>{"SPE1999.CSV"});
    EXPECT_FALSE(run.busy());
}

TEST(ConversionRun, TargetNameComesFromTheYearDigits) {
    EXPECT_EQ(source_name_of("  spe2001.csv - 2001-05-17  "), "SPE2001.CSV");
    EXPECT_EQ(source_name_of("*SPE1999.CSV - 1999-05-03"), "*SPE1999.CS");
    EXPECT_EQ(source_name_of("DATA.CSV - 1999-05-03"), "DATA.CSV -");
    EXPECT_EQ(target_name_of("SPE2001.CSV"), "SP2001.TXT");
    EXPECT_EQ(target_name_of("SPE"), "SP.TXT");
}

}  // namespace
