#include "window_scenarios.h"

#include <sstream>

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

Box busy(std::string text) {
    return {std::move(text), false, "Working..."};
}

std::ostream& operator<<(std::ostream& out, const Box& box) {
    return out << box.text << " | " << (box.close_enabled ? "enabled " : "disabled ")
               << box.close_caption;
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
    // Cut after 1000 characters, each line break counted as the two of CR LF.
    const std::string shortened = over_long("Z1", megabyte).substr(0, 998) + "\u2026";
    std::string many_lines = std::string(testing_support::kFullHeader) + "\r\n";
    std::string many_targets;
    const std::string_view record = testing_support::kExampleTarget;
    for (int i = 0; i < 40; ++i) {
        many_lines.append(testing_support::kExampleLine).append("\r\n");
        many_targets.append(record.substr(0, record.size() - 2));
    }
    many_targets += "\r\n";
    return {
        {"a double-click converts the entry and marks it",
         {{"NOTES.CSV", "x"}, {"SPE1999.CSV", kValid}, {"SP1999.TXT", kOld}},
         [](Driver& d) { d.double_click(1); },
         {{"Done."}},
         {kNotes, "*" + kSource},
         std::string(testing_support::kExampleTarget)},
        {"a converted entry is refused",
         {{"NOTES.CSV", "x"}, {"SPE1999.CSV", kValid}},
         [](Driver& d) {
             d.double_click(1);
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
        {"the window answers while a slow drive is read",
         {{"SPE1999.CSV", many_lines}},
         [](Driver& d) {
             d.after(150, [&d] {
                 d.notes.push_back(d.close_caption());
                 d.request_close();
             });
             d.double_click(0);
         },
         {{"Done."}},
         {},
         many_targets,
         false,
         100,
         {"Working..."}},
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
    convert::RunOptions options;
    if (scenario.slow_reads_ms > 0) {
        options.block_size = 512;
        options.open = testing_support::slow_source(scenario.slow_reads_ms, 512);
    }
    if (!driver.open(dir.path(), options)) return {"the window could not be made"};
    scenario.act(driver);
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
