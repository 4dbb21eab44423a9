#include "main_window_win32.h"

#include <commctrl.h>

#include "display_text.h"

namespace convert {

namespace {

constexpr int kIconId = 1;

/// Geometry at 96 dots per inch, in pixels of the client area.
constexpr SIZE kClientSize = {341, 266};
constexpr RECT kYearListRect = {56, 16, 56 + 229, 16 + 164};
constexpr RECT kLabelRect = {60, 184, 60 + 225, 184 + 21};
constexpr RECT kCloseButtonRect = {224, 224, 224 + 85, 224 + 29};
/// Arial 9.75 pt is 13 px at 96 dots per inch.
constexpr int kFontPixels = 13;

constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

/// How long a run may keep the window from its messages.
constexpr std::chrono::milliseconds kEventInterval{100};

std::wstring wide(std::string_view bytes) {
    const std::u16string text = decoded_text(bytes);
    return {text.begin(), text.end()};
}

int scaled(int pixels, UINT dpi) {
    return ::MulDiv(pixels, static_cast<int>(dpi), 96);
}

void place(HWND control, const RECT& at, UINT dpi) {
    ::SetWindowPos(control, nullptr, scaled(at.left, dpi), scaled(at.top, dpi),
                   scaled(at.right - at.left, dpi), scaled(at.bottom - at.top, dpi),
                   SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

std::filesystem::path program_folder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    return std::filesystem::path(path).parent_path();
}

MainWindow::MainWindow(std::filesystem::path folder, RunOptions options)
    : years_(std::move(folder)), options_(std::move(options)) {}

MainWindow::~MainWindow() {
    if (window_ != nullptr) ::DestroyWindow(window_);
    if (font_ != nullptr) ::DeleteObject(font_);
    for (HICON icon : icons_) {
        if (icon != nullptr) ::DestroyIcon(icon);
    }
    if (taskbar_ != nullptr) taskbar_->Release();
}

bool MainWindow::create(int show) {
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.style = CS_HREDRAW | CS_VREDRAW;
    window_class.lpfnWndProc = window_procedure;
    window_class.hInstance = instance;
    window_class.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(kIconId));
    window_class.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    window_class.lpszClassName = kWindowClass;
    ::RegisterClassExW(&window_class);  // fails harmlessly when already there

    // Made hidden at 96 DPI, then sized for the DPI of the monitor it is on.
    window_ = ::CreateWindowExW(0, kWindowClass, L"Convert .QMR to .TXT", kStyle, CW_USEDEFAULT,
                                CW_USEDEFAULT, kClientSize.cx, kClientSize.cy, nullptr, nullptr,
                                instance, this);
    if (window_ == nullptr) return false;
    // Heard even when the program runs elevated and Explorer does not.
    ::ChangeWindowMessageFilterEx(window_, taskbar_button_created_, MSGFLT_ALLOW, nullptr);
    const auto child = [&](const wchar_t* kind, const wchar_t* text, DWORD style, int id) {
        return ::CreateWindowExW(0, kind, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, window_,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance,
                                 nullptr);
    };
    // The label comes first: screen readers name the list by the text
    // before it. The tab order is the list, then Close. The list keeps its
    // entries in the order added and its height as given.
    label_ = child(L"STATIC", L"Double click year to convert", SS_LEFT | SS_NOPREFIX, kLabelId);
    year_list_ =
        child(L"LISTBOX", L"",
              WS_BORDER | WS_VSCROLL | WS_TABSTOP | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT, kYearListId);
    close_button_ = child(L"BUTTON", L"&Close", WS_TABSTOP | BS_PUSHBUTTON, kCloseButtonId);
    if (year_list_ == nullptr || label_ == nullptr || close_button_ == nullptr) return false;
    ::SetWindowSubclass(year_list_, list_procedure, 0, reinterpret_cast<DWORD_PTR>(this));

    const UINT dpi = ::GetDpiForWindow(window_);
    const SIZE frame = frame_size(dpi);
    ::SetWindowPos(window_, nullptr, 0, 0, frame.cx, frame.cy,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    lay_out(dpi);
    fill_year_list();
    focused_ = year_list_;
    ::ShowWindow(window_, show);
    ::SetFocus(year_list_);
    return true;
}

int MainWindow::run_message_loop() {
    MSG message{};
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) dispatch(message);
    return static_cast<int>(message.wParam);
}

void MainWindow::dispatch(MSG& message) {
    // Tab, Enter and Alt+C work as in a dialog.
    if (window_ != nullptr && ::IsDialogMessageW(window_, &message)) return;
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
}

SIZE MainWindow::frame_size(UINT dpi) const {
    RECT frame{0, 0, scaled(kClientSize.cx, dpi), scaled(kClientSize.cy, dpi)};
    ::AdjustWindowRectExForDpi(&frame, kStyle, FALSE, 0, dpi);
    return {frame.right - frame.left, frame.bottom - frame.top};
}

void MainWindow::lay_out(UINT dpi) {
    place(year_list_, kYearListRect, dpi);
    place(label_, kLabelRect, dpi);
    place(close_button_, kCloseButtonRect, dpi);

    // DEFAULT_CHARSET, so that names in any script find a font.
    HFONT font = ::CreateFontW(-scaled(kFontPixels, dpi), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                               DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                               CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_SWISS, L"Arial");
    for (HWND control : {window_, year_list_, label_, close_button_}) {
        ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
    if (font_ != nullptr) ::DeleteObject(font_);
    font_ = font;

    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    const int sizes[2][2] = {{SM_CXICON, ICON_BIG}, {SM_CXSMICON, ICON_SMALL}};
    for (int i = 0; i < 2; ++i) {
        const int size = ::GetSystemMetricsForDpi(sizes[i][0], dpi);
        // The icon file's nearest size, scaled where it has none exactly.
        const auto icon = static_cast<HICON>(
            ::LoadImageW(instance, MAKEINTRESOURCEW(kIconId), IMAGE_ICON, size, size, 0));
        if (icon == nullptr) continue;
        ::SendMessageW(window_, WM_SETICON, static_cast<WPARAM>(sizes[i][1]),
                       reinterpret_cast<LPARAM>(icon));
        if (icons_[i] != nullptr) ::DestroyIcon(icons_[i]);
        icons_[i] = icon;
    }
}

LRESULT CALLBACK MainWindow::window_procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(l)->lpCreateParams);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->window_ = window;
    }
    auto* self = reinterpret_cast<MainWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    return self != nullptr ? self->handle(message, w, l) : ::DefWindowProcW(window, message, w, l);
}

LRESULT CALLBACK MainWindow::list_procedure(HWND list, UINT message, WPARAM w, LPARAM l, UINT_PTR,
                                            DWORD_PTR self) {
    if (message == WM_LBUTTONDBLCLK) {
        // The list reports a double-click on its empty area too; note where
        // this one fell.
        const auto hit = static_cast<DWORD>(::SendMessageW(list, LB_ITEMFROMPOINT, 0, l));
        reinterpret_cast<MainWindow*>(self)->double_click_on_entry_ = HIWORD(hit) == 0;
    }
    return ::DefSubclassProc(list, message, w, l);
}

LRESULT MainWindow::handle(UINT message, WPARAM w, LPARAM l) {
    if (message == taskbar_button_created_ && message != 0) {
        // The taskbar takes progress for the button it has just made (again,
        // when Explorer has restarted).
        if (taskbar_ == nullptr &&
            SUCCEEDED(::CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER,
                                         IID_PPV_ARGS(&taskbar_))) &&
            FAILED(taskbar_->HrInit())) {
            taskbar_->Release();
            taskbar_ = nullptr;
        }
        return 0;
    }
    switch (message) {
        case WM_COMMAND:
            switch (LOWORD(w)) {
                case kYearListId:
                    // The list reports a double-click on its empty area too.
                    if (HIWORD(w) == LBN_DBLCLK && double_click_on_entry_) {
                        double_click_on_entry_ = false;
                        convert_selected_entry();
                    }
                    return 0;
                case kCloseButtonId:
                    if (HIWORD(w) == BN_CLICKED) ::SendMessageW(window_, WM_CLOSE, 0, 0);
                    return 0;
                case IDOK: {
                    // Enter presses Close while Close has the focus, and on
                    // the list does what a double-click on the selected
                    // entry does. The focus is read once: closing the window
                    // takes it, and the handles with it.
                    const HWND focus = ::GetFocus();
                    if (focus == close_button_) {
                        ::SendMessageW(window_, WM_CLOSE, 0, 0);
                    } else if (focus == year_list_ && focus != nullptr) {
                        convert_selected_entry();
                    }
                    return 0;
                }
                default:  // Escape (IDCANCEL) presses nothing
                    return 0;
            }
        case WM_CTLCOLORSTATIC: {
            // The system's colours, so that the label reads in every theme,
            // high contrast included.
            const HDC dc = reinterpret_cast<HDC>(w);
            ::SetTextColor(dc, ::GetSysColor(COLOR_BTNTEXT));
            ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
            return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
        }
        case WM_GETDPISCALEDSIZE: {
            // The size for the new DPI, so that the suggested rectangle of
            // WM_DPICHANGED is this window's own and can be taken as it is.
            *reinterpret_cast<SIZE*>(l) = frame_size(static_cast<UINT>(w));
            return TRUE;
        }
        case WM_DPICHANGED: {
            const RECT* suggested = reinterpret_cast<const RECT*>(l);
            ::SetWindowPos(window_, nullptr, suggested->left, suggested->top,
                           suggested->right - suggested->left, suggested->bottom - suggested->top,
                           SWP_NOZORDER | SWP_NOACTIVATE);
            lay_out(HIWORD(w));
            return 0;
        }
        case WM_ACTIVATE:
            // The control that had the focus gets it back with the window.
            if (LOWORD(w) == WA_INACTIVE) {
                if (HWND focus = ::GetFocus(); focus != nullptr && ::IsChild(window_, focus)) {
                    focused_ = focus;
                }
            }
            return ::DefWindowProcW(window_, message, w, l);
        case WM_SETFOCUS:
            ::SetFocus(focused_ != nullptr ? focused_ : year_list_);
            return 0;
        case WM_CLOSE:
            if (busy_) {
                // Never leave a run half done: end once it has finished.
                close_requested_ = true;
                return 0;
            }
            ::DestroyWindow(window_);
            return 0;
        case WM_DESTROY:
            ::PostQuitMessage(0);
            return 0;
        case WM_NCDESTROY: {
            HWND window = window_;
            window_ = year_list_ = label_ = close_button_ = nullptr;
            return ::DefWindowProcW(window, message, w, l);
        }
        default:
            return ::DefWindowProcW(window_, message, w, l);
    }
}

void MainWindow::fill_year_list() {
    for (const YearEntry& entry : years_.entries()) {
        ::SendMessageW(year_list_, LB_ADDSTRING, 0,
                       reinterpret_cast<LPARAM>(wide(entry.label()).c_str()));
    }
}

void MainWindow::convert_selected_entry() {
    // A run already under way (from the events it lets through) starts
    // nothing, and nor does a window that is going.
    if (window_ == nullptr || year_list_ == nullptr) return;
    const auto selected = ::SendMessageW(year_list_, LB_GETCURSEL, 0, 0);
    const auto index = static_cast<std::size_t>(selected);
    if (busy_ || selected < 0 || index >= years_.entries().size()) return;
    if (const std::optional<std::string> refusal = years_.refusal(index)) {
        show_message(*refusal);
        return;
    }
    set_busy(true);
    const RunResult result = years_.convert(index, *this, options_);
    set_busy(false);
    if (result.outcome == RunOutcome::converted) {
        // The mark is seen before "Done." is; the selection stays where it is.
        show_taskbar_progress(TBPF_NOPROGRESS);
        const auto now_selected = ::SendMessageW(year_list_, LB_GETCURSEL, 0, 0);
        ::SendMessageW(year_list_, LB_DELETESTRING, index, 0);
        ::SendMessageW(year_list_, LB_INSERTSTRING, index,
                       reinterpret_cast<LPARAM>(wide(years_.entries()[index].label()).c_str()));
        ::SendMessageW(year_list_, LB_SETCURSEL, static_cast<WPARAM>(now_selected), 0);
        ::UpdateWindow(year_list_);
        show_message(result.message);
    } else {
        // The taskbar shows the failure while its message is read.
        show_taskbar_progress(TBPF_ERROR, 1, 1);
        show_message(result.message);
        show_taskbar_progress(TBPF_NOPROGRESS);
    }
    // A close asked for during the run is carried out now that it has ended.
    if (close_requested_) ::PostMessageW(window_, WM_CLOSE, 0, 0);
}

void MainWindow::set_busy(bool busy) {
    busy_ = busy;
    ::EnableWindow(close_button_, !busy);
    ::SetWindowTextW(close_button_, busy ? L"Working..." : L"&Close");
    // Paint "Working..." before reading starts; the paint is all that waits.
    if (busy) {
        process_pending_events();
        events_handled_ = std::chrono::steady_clock::now();
    }
}

void MainWindow::progress(std::uint64_t done, std::uint64_t total) {
    // The window keeps answering while a slow drive is read, so that Windows
    // never calls it "Not Responding"; the busy state refuses a second run
    // and defers a close meanwhile.
    const auto now = std::chrono::steady_clock::now();
    if (now - events_handled_ < kEventInterval) return;
    show_taskbar_progress(TBPF_NORMAL, done, total);
    process_pending_events();
    events_handled_ = now;
}

void MainWindow::show_taskbar_progress(TBPFLAG state, std::uint64_t done, std::uint64_t total) {
    // The one progress display that changes none of the window's own texts;
    // there only once the taskbar has made the window's button.
    if (taskbar_ == nullptr) return;
    taskbar_->SetProgressState(window_, state);
    if (state != TBPF_NOPROGRESS && total != 0) taskbar_->SetProgressValue(window_, done, total);
}

void MainWindow::process_pending_events() {
    MSG message{};
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // For the main loop, once the run has ended.
            ::PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        dispatch(message);
    }
}

void MainWindow::show_message(const std::string& text) {
    const std::u16string shown = shown_message(text);
    const std::wstring caption = wide(kApplicationTitle);
    ::MessageBoxW(window_, std::wstring(shown.begin(), shown.end()).c_str(), caption.c_str(),
                  MB_OK);
}

}  // namespace convert
