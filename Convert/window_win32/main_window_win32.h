// The program's one window on Windows, in the plain Win32 API: the year list
// of the program's folder, a label and the Close button. One window
// procedure turns messages into the calls the Qt window makes; the window
// keeps the entries, their marks and the busy state, and hears from the
// conversion only through its RunReport.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// After windows.h:
#include <shobjidl.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "run_report.h"
#include "year_list.h"

namespace convert {

/// The window class, and the controls' identifiers in tab order, as
/// automation and the tests find them.
inline constexpr wchar_t kWindowClass[] = L"F_SPECS";
enum ControlId : int { kYearListId = 100, kLabelId = 101, kCloseButtonId = 102 };

class MainWindow : private RunReport {
public:
    /// `folder` is the program's folder: listed at start, and where sources
    /// are read and targets written. `options` go to every run (tests slow
    /// the reading down).
    explicit MainWindow(std::filesystem::path folder, RunOptions options = {});
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    /// Creates the window and its controls, fills the year list and shows
    /// the window with `show` (a SW_ value). False when it cannot be made.
    bool create(int show);

    /// Handles messages until the window has gone; returns the exit code.
    int run_message_loop();

    /// The window; null before create and after the window has gone.
    HWND window() const { return window_; }

private:
    static LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM w, LPARAM l);
    static LRESULT CALLBACK list_procedure(HWND list, UINT message, WPARAM w, LPARAM l, UINT_PTR,
                                           DWORD_PTR self);
    LRESULT handle(UINT message, WPARAM w, LPARAM l);
    void dispatch(MSG& message);
    void process_pending_events();

    void fill_year_list();
    /// Converts the selected entry, as a double-click on it or Enter asks.
    void convert_selected_entry();
    void set_busy(bool busy);
    void show_message(const std::string& text);
    /// The window's outer size for `dpi` dots per inch.
    SIZE frame_size(UINT dpi) const;
    /// Places the window's controls, font and icons for `dpi` dots per inch.
    void lay_out(UINT dpi);
    /// The taskbar button's progress: TBPF_NOPROGRESS, TBPF_NORMAL with
    /// `done` of `total`, or TBPF_ERROR.
    void show_taskbar_progress(TBPFLAG state, std::uint64_t done = 0, std::uint64_t total = 0);

    // RunReport
    void message(const std::string& text) override { show_message(text); }
    void progress(std::uint64_t done, std::uint64_t total) override;

    YearList years_;
    RunOptions options_;
    std::chrono::steady_clock::time_point events_handled_;
    ITaskbarList3* taskbar_ = nullptr;  // none until the taskbar has made the button
    const UINT taskbar_button_created_ = ::RegisterWindowMessageW(L"TaskbarButtonCreated");
    HICON icons_[2] = {nullptr, nullptr};  // large and small, for the current DPI
    HWND window_ = nullptr;
    HWND year_list_ = nullptr;
    HWND label_ = nullptr;
    HWND close_button_ = nullptr;
    HFONT font_ = nullptr;
    HWND focused_ = nullptr;              // the control to give the focus back to
    bool double_click_on_entry_ = false;  // the list's last double-click hit an entry
    bool busy_ = false;
    bool close_requested_ = false;
};

/// The folder that holds the running program.
std::filesystem::path program_folder();

}  // namespace convert
