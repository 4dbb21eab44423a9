// What a user does in the window and what they must see, written once for
// both windows. Each window's test plays the table through a driver of its
// own that works the real controls and reads the real message boxes.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "run/convert_file.h"
#include "test_support.h"

namespace window_scenarios {

/// A message box as it was seen: its text (UTF-8, line breaks as "\n"), the
/// Close button's state while it was open, and whether the box offered to
/// skip the rest (a box about one value) or only OK.
struct Box {
    std::string text;
    bool close_enabled = true;
    std::string close_caption = "Close";
    bool skippable = false;
    bool operator==(const Box&) const = default;
};

class Driver {
public:
    virtual ~Driver() = default;
    /// Makes the window on `folder`, its runs made on `files`, and shows it;
    /// false when it failed.
    virtual bool open(const std::filesystem::path& folder,
                      const convert::RunFiles& files = convert::real_files()) = 0;
    /// Handles the window's events until no run is under way (at most 60 s).
    virtual void wait_until_idle() = 0;
    /// The year list's shown texts, UTF-8.
    virtual std::vector<std::string> entries() = 0;
    virtual void select(int row) = 0;
    /// A mouse double-click on entry `row`, or below the last entry for -1.
    virtual void double_click(int row) = 0;
    /// Enter while the year list has the focus.
    virtual void press_enter() = 0;
    /// Enter while Close has the focus.
    virtual void press_enter_on_close() = 0;
    /// A click on Close.
    virtual void click_close() = 0;
    /// The title bar's close.
    virtual void request_close() = 0;
    virtual bool is_open() = 0;
    /// The Close button's text as shown, its mnemonic's "&" left out.
    virtual std::string close_caption() = 0;
    /// Runs `action` on the window's thread once `milliseconds` have passed
    /// and the window handles its events.
    virtual void after(int milliseconds, std::function<void()> action) = 0;
    /// What a scenario notes down as it goes.
    std::vector<std::string> notes;
    /// Every box opened so far, each read and dismissed with OK, or with
    /// Skip the rest when `skip` says so; `while_open` runs while a box is
    /// open.
    virtual std::vector<Box> boxes() = 0;
    virtual void while_box_open(std::function<void(const Box&)> action) = 0;
    std::function<bool(const Box&)> skip;
};

struct Scenario {
    const char* name;
    std::vector<std::pair<std::string, std::string>> files;  // name and bytes, dated 1999-05-03
    std::function<void(Driver&)> act;
    std::vector<Box> boxes;
    std::vector<std::string> entries_after;
    std::optional<std::string> target_after;  // SP1999.TXT's bytes; none when absent
    bool open_after = true;
    testing_support::TestFiles run_files = {};  // the files the window's runs see
    std::vector<std::string> notes = {};
};

std::vector<Scenario> scenarios();

/// Plays `scenario` in a fresh folder through `driver`; returns what did
/// not come out as it should, one line each.
std::vector<std::string> play(const Scenario& scenario, Driver& driver);

}  // namespace window_scenarios
