// The program's one window on Windows, in the plain Win32 API: the year list
// of the program's folder, a label and the Close button. One window
// procedure turns messages into the calls the Qt window makes; runs go
// through the window's run session, off the window's thread, and the
// window only shows what the session asks.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// After windows.h:
#include <shobjidl.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>

#include "window_shared/run_session.h"

namespace convert {

/// The window class, and the controls' identifiers in tab order, as
/// automation and the tests find them.
inline constexpr wchar_t kWindowClass[] = L"F_SPECS";
enum ControlId : int { kYearListId = 100, kLabelId = 101, kCloseButtonId = 102 };
/// The per-value box's button that skips the rest of them.
inline constexpr int kSkipRestId = 1000;

class MainWindow : private RunWindow {
public:
    /// `folder` is the program's folder: listed at start, and where sources
    /// are read and targets written.
    explicit MainWindow(std::filesystem::path folder);
    ~MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    /// Creates the window and its controls, fills the year list and shows
    /// the window with `show` (a SW_ value). False when it cannot be made.
    bool create(int show);

    /// Handles messages until the window has gone; returns the exit code.
    int run_message_loop();

    /// The window; null before create and after the window has gone.
    HWND window() const { return window_; }

    /// What makes the window's runs; tests give it files of their own.
    RunSession& session() { return *session_; }

private:
    static LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM w, LPARAM l);
    static LRESULT CALLBACK list_procedure(HWND list, UINT message, WPARAM w, LPARAM l, UINT_PTR,
                                           DWORD_PTR self);
    LRESULT handle(UINT message, WPARAM w, LPARAM l);

    /// Converts the selected entry, as a double-click on it or Enter asks.
    void convert_selected_entry();
    /// Closes the boxes open over the window, as their Close would.
    void close_boxes();
    /// The window's outer size for `dpi` dots per inch.
    SIZE frame_size(UINT dpi) const;
    /// Places the window's controls, font and icons for `dpi` dots per inch.
    void lay_out(UINT dpi);

    // RunWindow
    Answer show_message(const MessageLines& message, Box box) override;
    void set_busy(bool busy) override;
    void show_progress(Progress progress, std::uint64_t done, std::uint64_t total) override;
    void show_entry(std::size_t index) override;
    void close_window() override;
    void wake() override;

    ITaskbarList3* taskbar_ = nullptr;  // none until the taskbar has made the button
    const UINT taskbar_button_created_ = ::RegisterWindowMessageW(L"TaskbarButtonCreated");
    HICON icons_[2] = {nullptr, nullptr};  // large and small, for the current DPI
    HWND window_ = nullptr;
    std::atomic<HWND> woken_{nullptr};  // the window, for the run's thread
    HWND year_list_ = nullptr;
    HWND label_ = nullptr;
    HWND close_button_ = nullptr;
    HFONT font_ = nullptr;
    HWND focused_ = nullptr;              // the control to give the focus back to
    bool double_click_on_entry_ = false;  // the list's last double-click hit an entry
    std::unique_ptr<RunSession> session_;
};

/// The folder that holds the running program.
std::filesystem::path program_folder();

}  // namespace convert
