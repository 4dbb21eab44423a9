#include "window_scenarios.h"

#include <chrono>
#include <sstream>
#include <thread>

#include "test_support.h"

namespace window_scenarios {

namespace fs = std::filesystem;
using testing_support::kValid;

namespace {

const std::string kOld = "old target";
const std::string kNotes = "NOTES.CSV - 1999-05-03";
const std::string kSource = "SPE1999.CSV - 1999-05-03";

std::string over_long(const std::string& model, const std::string& value) {
    return "Model: Zeta  " + model +
           "\n\nField: A1  Response Length:  " + std::to_string(value.size()) +
           "   Response: " + value + "  is longer than: 3";
}

/// A box about one value, shown while the run is busy.
Box busy(std::string text) {
    return {std::move(text), false, "Working...", true};
}

std::ostream& operator<<(std::ostream& out, const Box& box) {
    return out << box.text << " | " << (box.close_enabled ? "enabled " : "disabled ")
               << box.close_caption << (box.skippable ? " | OK, Skip the rest" : " | OK");
}

/// Notes the Close button's caption, and whether the window took this
/// within a second of `started`, then asks the window to close.
void note_and_close(Driver& d, std::chrono::steady_clock::time_point started) {
    d.notes.push_back(d.close_caption());
    const bool soon = std::chrono::steady_clock::now() - started < std::chrono::seconds(1);
    d.notes.push_back(soon ? "answered within a second" : "answered late");
    d.request_close();
}

/// Files whose source's first read, or whose target's flush, stalls for 10 s:
/// longer than Windows waits before it calls a window "Not Responding".
testing_support::TestFiles stalling(bool flush) {
    testing_support::TestFiles files;
    if (flush) {
        files.save.refuse = [](convert::AtomicFile::Step step) {
            if (step == convert::AtomicFile::Step::flush) {
                std::this_thread::sleep_for(std::chrono::seconds(10));
            }
            return false;
        };
    } else {
        files.first_wait_ms = 10'000;
    }
    return files;
}

template <typename T>
std::string shown(const std::vector<T>& items) {
    std::ostringstream text;
    for (const T& item : items) text << "[" << item << "] ";
    return text.str();
}

}  // namespace

std::vector<Scenario> scenarios() {
    const std::string two_over_long =
        testing_support::source_with_a1({{"Zeta", "Z1", "1234"}, {"Zeta", "Z2", "5678"}});
    const std::string megabyte(1'000'000, '9');
    // The value cut after 200 bytes, its length whole.
    const std::string shortened =
        "Model: Zeta  Z1\n\nField: A1  Response Length:  1000000   "
        "Response: " +
        std::string(200, '9') + "...  is longer than: 3";
    std::string flood = std::string(testing_support::kFullHeader) + "\r\n";
    for (int i = 0; i < 5000; ++i) {
        flood += "Zeta,Z" + std::to_string(i) +
                 ",1234,345,,7,100,99,5,480,178,145,270,150,151,1250,55,98\r\n";
    }
    const auto close_while_stalled = [](Driver& d) {
        const auto started = std::chrono::steady_clock::now();
        d.after(500, [&d, started] { note_and_close(d, started); });
        d.double_click(0);
    };
    return {
        {"a double-click converts the entry and marks it",
         {{"NOTES.CSV", "x"}, {"SPE1999.CSV", kValid}, {"SP1999.TXT", kOld}},
         [](Driver& d) { d.double_click(1); },
         {{"Done."}},
         {kNotes, "*" + kSource},
         std::string(testing_support::kExampleTarget)},
        {"a workbook is listed and converts as its CSV would",
         {{"NOTES.CSV", "x"}, {"SPE1999.xlsx", testing_support::workbook_of(kValid)}},
         [](Driver& d) { d.double_click(1); },
         {{"Done."}},
         {kNotes, "*SPE1999.XLSX - 1999-05-03"},
         std::string(testing_support::kExampleTarget)},
        {"a converted entry is refused",
         {{"NOTES.CSV", "x"}, {"SPE1999.CSV", kValid}},
         [](Driver& d) {
             d.double_click(1);
             d.wait_until_idle();
             d.double_click(1);
         },
         {{"Done."}, {"*SPE1999.CS is already converted"}},
         {kNotes, "*" + kSource},
         std::string(testing_support::kExampleTarget)},
        {"a file that is no source is refused",
         {{"NOTES.CSV", "x"}, {"SPE1999.CSV", kValid}},
         [](Driver& d) { d.double_click(0); },
         {{"Invalid file name: NOTES.CSV -"}},
         {kNotes, kSource},
         std::nullopt},
        {"each over-long value while busy, then not converted",
         {{"SPE1999.CSV", two_over_long}, {"SP1999.TXT", kOld}},
         [](Driver& d) { d.double_click(0); },
         {busy(over_long("Z1", "1234")), busy(over_long("Z2", "5678")), {"Data not converted."}},
         {kSource},
         kOld},
        {"a value of a megabyte is shown shortened",
         {{"SPE1999.CSV", testing_support::source_with_a1({{"Zeta", "Z1", megabyte}})}},
         [](Driver& d) { d.double_click(0); },
         {busy(shortened), {"Data not converted."}},
         {kSource},
         std::nullopt},
        {"a make in Windows-1252 is shown decoded",
         {{"SPE1999.CSV", testing_support::source_with_a1({{"Citro\xebn", "C5", "1234"}})}},
         [](Driver& d) { d.double_click(0); },
         {busy("Model: Citro\u00ebn  C5\n\nField: A1  Response Length:  4   Response: 1234  is "
               "longer than: 3"),
          {"Data not converted."}},
         {kSource},
         std::nullopt},
        {"a double-click below the entries converts nothing",
         {{"SPE1999.CSV", kValid}},
         [](Driver& d) {
             d.select(0);
             d.double_click(-1);
         },
         {},
         {kSource},
         std::nullopt},
        {"Enter on the selected entry converts it",
         {{"SPE1999.CSV", kValid}},
         [](Driver& d) {
             d.select(0);
             d.press_enter();
         },
         {{"Done."}},
         {"*" + kSource},
         std::string(testing_support::kExampleTarget)},
        {"a read that stalls: the window answers, and closes once the run has ended",
         {{"SPE1999.CSV", kValid}},
         close_while_stalled,
         {{"Done."}},
         {},
         std::string(testing_support::kExampleTarget),
         false,
         stalling(false),
         {"Working...", "answered within a second"}},
        {"a flush that stalls: the same",
         {{"SPE1999.CSV", kValid}, {"SP1999.TXT", kOld}},
         close_while_stalled,
         {{"Done."}},
         {},
         std::string(testing_support::kExampleTarget),
         false,
         stalling(true),
         {"Working...", "answered within a second"}},
        {"5 000 values too long: one box, Skip the rest, then not converted",
         {{"SPE1999.CSV", flood}},
         [](Driver& d) {
             d.skip = [](const Box& box) { return box.skippable; };
             d.double_click(0);
         },
         {busy(over_long("Z0", "1234")), {"Data not converted."}},
         {kSource},
         std::nullopt},
        {"a close during a run waits for its end",
         {{"SPE1999.CSV", two_over_long}},
         [](Driver& d) {
             d.while_box_open([&d](const Box& box) {
                 if (box.text.starts_with("Model:")) d.request_close();
             });
             d.double_click(0);
         },
         {busy(over_long("Z1", "1234")), busy(over_long("Z2", "5678")), {"Data not converted."}},
         {kSource},
         std::nullopt,
         false},
        {"Enter on Close ends at once and converts nothing",
         {{"SPE1999.CSV", kValid}},
         [](Driver& d) {
             d.select(0);
             d.press_enter_on_close();
         },
         {},
         {kSource},
         std::nullopt,
         false},
        {"Close ends at once when idle",
         {{"SPE1999.CSV", kValid}},
         [](Driver& d) { d.click_close(); },
         {},
         {kSource},
         std::nullopt,
         false},
    };
}

std::vector<std::string> play(const Scenario& scenario, Driver& driver) {
    testing_support::ScopedTempDir dir;
    for (const auto& [name, bytes] : scenario.files) {
        testing_support::write_file(dir / name, bytes);
        testing_support::set_modified(dir / name, 1999, 5, 3);
    }
    std::vector<std::string> wrong;
    if (!driver.open(dir.path(), scenario.run_files)) return {"the window could not be made"};
    scenario.act(driver);
    driver.wait_until_idle();
    if (driver.boxes() != scenario.boxes) {
        wrong.push_back("boxes: " + shown(driver.boxes()) + "instead of " + shown(scenario.boxes));
    }
    if (driver.notes != scenario.notes) {
        wrong.push_back("notes: " + shown(driver.notes) + "instead of " + shown(scenario.notes));
    }
    if (driver.is_open() != scenario.open_after) {
        wrong.push_back(scenario.open_after ? "the window closed" : "the window stayed open");
    }
    if (scenario.open_after && driver.entries() != scenario.entries_after) {
        wrong.push_back("entries: " + shown(driver.entries()) + "instead of " +
                        shown(scenario.entries_after));
    }
    const fs::path target = dir / "SP1999.TXT";
    const std::optional<std::string> found =
        fs::exists(target) ? std::optional(testing_support::read_file(target)) : std::nullopt;
    if (found != scenario.target_after) {
        wrong.push_back("SP1999.TXT: " + found.value_or("absent") + " instead of " +
                        scenario.target_after.value_or("absent"));
    }
    return wrong;
}

}  // namespace window_scenarios
