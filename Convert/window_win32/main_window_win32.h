// F_SPECS on Windows: the program's one window in the plain Win32 API, with
// the year list of the program's folder, a label and the Close button. One
// window procedure turns messages into the calls the Qt window makes; the
// conversion reaches the window only through RunView.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "conversion_run.h"
#include "run_view.h"

namespace convert {

class F_SPECS : private RunView {
public:
    /// Control identifiers, in tab order.
    enum : int { kYearsId = 100, kLabelId = 101, kCloseId = 102 };

    /// `folder` is the program's folder: listed at start, and where sources
    /// are read and targets written.
    explicit F_SPECS(std::filesystem::path folder);
    ~F_SPECS() override;
    F_SPECS(const F_SPECS&) = delete;
    F_SPECS& operator=(const F_SPECS&) = delete;

    /// Creates the window and its controls, fills the year list and shows
    /// the window with `show` (a SW_ value). False when it cannot be made.
    bool create(int show);

    /// Handles messages until the window has gone; returns the exit code.
    int run_message_loop();

    /// The window and its controls; null before create and after the window
    /// has gone.
    HWND window() const { return window_; }
    HWND S_YEARS = nullptr;
    HWND Label1 = nullptr;
    HWND B_CLOSE = nullptr;

private:
    static LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM w, LPARAM l);
    static LRESULT CALLBACK list_procedure(HWND list, UINT message, WPARAM w, LPARAM l, UINT_PTR,
                                           DWORD_PTR self);
    LRESULT handle(UINT message, WPARAM w, LPARAM l);
    void dispatch(MSG& message);

    void Form_Load();
    void B_CLOSE_Click();
    void S_YEARS_DblClick();

    /// Places the window's controls and font for `dpi` dots per inch.
    void lay_out(UINT dpi);

    // RunView
    std::string selected_text() const override;
    int selected_index() const override;
    std::string entry_text(int index) const override;
    void set_entry_text(int index, const std::string& text) override;
    void refresh_list() override;
    void set_close_enabled(bool enabled) override;
    void set_close_caption(const std::string& caption) override;
    void process_pending_events() override;
    void show_message(const std::string& text) override;

    std::filesystem::path folder_;
    ConversionRun run_;
    HWND window_ = nullptr;
    HFONT font_ = nullptr;
    HWND focused_ = nullptr;            // the control to give the focus back to
    std::vector<std::string> entries_;  // each entry's bytes; the list shows them decoded
    bool double_click_on_entry_ = false;
    bool close_requested_ = false;
};

/// The folder that holds the running program.
std::filesystem::path program_folder();

}  // namespace convert
