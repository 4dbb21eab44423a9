#include "window_win32/main_window_win32.h"

#include <commctrl.h>

#include "window_shared/display_text.h"

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

/// Sent by the run's thread: the session has tasks for the window's thread.
constexpr UINT kRunTasks = WM_APP + 1;

using TaskDialogIndirectFn = HRESULT(WINAPI*)(const TASKDIALOGCONFIG*, int*, int*, BOOL*);

/// Task dialogs come with common controls 6, which the program's manifest
/// asks for; without them a per-value box is a plain one.
TaskDialogIndirectFn task_dialog() {
    static const auto function =
        reinterpret_cast<TaskDialogIndirectFn>(reinterpret_cast<void (*)()>(
            ::GetProcAddress(::GetModuleHandleW(L"comctl32.dll"), "TaskDialogIndirect")));
    return function;
}

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

MainWindow::MainWindow(std::filesystem::path folder)
    : session_(std::make_unique<RunSession>(std::move(folder), static_cast<RunWindow&>(*this))) {}

MainWindow::~MainWindow() {
    // A run under way ends first: it may still wake the window.
    session_.reset();
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
    for (const YearEntry& entry : session_->years().entries()) {
        ::SendMessageW(year_list_, LB_ADDSTRING, 0,
                       reinterpret_cast<LPARAM>(wide(entry.label()).c_str()));
    }
    woken_ = window_;
    focused_ = year_list_;
    ::ShowWindow(window_, show);
    ::SetFocus(year_list_);
    return true;
}

int MainWindow::run_message_loop() {
    MSG message{};
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        // Tab, Enter and Alt+C work as in a dialog.
        if (window_ != nullptr && ::IsDialogMessageW(window_, &message)) continue;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
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
                    } else if (focus == year_list_) {
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
        case kRunTasks:
            session_->run_tasks();
            return 0;
        case WM_CLOSE:
            // A run under way closes the window once it has ended.
            if (session_->may_close()) ::DestroyWindow(window_);
            return 0;
        case WM_QUERYENDSESSION:
            // A run reading or writing holds the session's end up, its
            // reason shown, unless the end cannot wait.
            return !session_->converting() || (l & ENDSESSION_CRITICAL) != 0;
        case WM_ENDSESSION:
            // The session ends: the run stops now, its temporary gone before
            // this returns, after which Windows may end the program at once.
            if (w != FALSE && session_->busy()) {
                close_boxes();
                session_->end_now();
                ::ShutdownBlockReasonDestroy(window_);
            }
            return 0;
        case WM_DESTROY:
            ::PostQuitMessage(0);
            return 0;
        case WM_NCDESTROY: {
            HWND window = window_;
            woken_ = nullptr;
            window_ = year_list_ = label_ = close_button_ = nullptr;
            return ::DefWindowProcW(window, message, w, l);
        }
        default:
            return ::DefWindowProcW(window_, message, w, l);
    }
}

void MainWindow::convert_selected_entry() {
    const auto selected = ::SendMessageW(year_list_, LB_GETCURSEL, 0, 0);
    if (selected < 0) return;
    const auto index = static_cast<std::size_t>(selected);
    session_->convert(index);
    if (session_->busy()) {
        // What the user sees if the session is to end meanwhile. Windows
        // may refuse (Wine has only a stub): then it goes without.
        const std::wstring reason =
            L"Converting " + session_->years().entries()[index].file_name.native();
        ::ShutdownBlockReasonCreate(window_, reason.c_str());
    }
}

void MainWindow::close_boxes() {
    // The boxes this thread has open over the window: a message box or a
    // task dialog, each a dialog owned by it. Closing one answers it.
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND box, LPARAM owner) -> BOOL {
            wchar_t kind[16] = {};
            ::GetClassNameW(box, kind, 16);
            if (::GetWindow(box, GW_OWNER) == reinterpret_cast<HWND>(owner) &&
                std::wstring_view(kind) == L"#32770") {
                ::PostMessageW(box, WM_CLOSE, 0, 0);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(window_));
}

RunWindow::Answer MainWindow::show_message(const MessageLines& lines, Box box) {
    const std::u16string shown = shown_message(joined(lines, "\r\n"));
    const std::wstring message(shown.begin(), shown.end());
    const std::wstring caption = wide(kApplicationTitle);
    if (box == Box::per_value && task_dialog() != nullptr) {
        // OK for Enter; Skip the rest for Esc (and the title bar's close).
        const TASKDIALOG_BUTTON skip{kSkipRestId, L"&Skip the rest"};
        TASKDIALOGCONFIG config{};
        config.cbSize = sizeof config;
        config.hwndParent = window_;
        config.dwFlags = TDF_ALLOW_DIALOG_CANCELLATION | TDF_POSITION_RELATIVE_TO_WINDOW;
        config.dwCommonButtons = TDCBF_OK_BUTTON;
        config.pszWindowTitle = caption.c_str();
        config.pszContent = message.c_str();
        config.cButtons = 1;
        config.pButtons = &skip;
        config.nDefaultButton = IDOK;
        int pressed = IDOK;
        if (SUCCEEDED(task_dialog()(&config, &pressed, nullptr, nullptr))) {
            return pressed == kSkipRestId || pressed == IDCANCEL ? Answer::skip_rest : Answer::ok;
        }
    }
    ::MessageBoxW(window_, message.c_str(), caption.c_str(), MB_OK);
    return Answer::ok;
}

void MainWindow::set_busy(bool busy) {
    ::EnableWindow(close_button_, !busy);
    ::SetWindowTextW(close_button_, busy ? L"Working..." : L"&Close");
    if (!busy) ::ShutdownBlockReasonDestroy(window_);
}

void MainWindow::show_progress(Progress progress, std::uint64_t done, std::uint64_t total) {
    // The taskbar button's progress, the one display that changes none of
    // the window's own texts; there only once the taskbar has made it.
    if (taskbar_ == nullptr) return;
    const TBPFLAG state = progress == Progress::reading  ? TBPF_NORMAL
                          : progress == Progress::failed ? TBPF_ERROR
                                                         : TBPF_NOPROGRESS;
    taskbar_->SetProgressState(window_, state);
    if (progress == Progress::failed) taskbar_->SetProgressValue(window_, 1, 1);
    if (progress == Progress::reading && total != 0) {
        taskbar_->SetProgressValue(window_, done, total);
    }
}

void MainWindow::show_entry(std::size_t index) {
    // The selection stays where it is.
    const auto selected = ::SendMessageW(year_list_, LB_GETCURSEL, 0, 0);
    ::SendMessageW(year_list_, LB_DELETESTRING, index, 0);
    ::SendMessageW(
        year_list_, LB_INSERTSTRING, index,
        reinterpret_cast<LPARAM>(wide(session_->years().entries()[index].label()).c_str()));
    ::SendMessageW(year_list_, LB_SETCURSEL, static_cast<WPARAM>(selected), 0);
    ::UpdateWindow(year_list_);
}

void MainWindow::close_window() {
    ::PostMessageW(window_, WM_CLOSE, 0, 0);
}

void MainWindow::wake() {
    // From the run's thread; a window that has gone is not woken.
    if (HWND window = woken_.load(); window != nullptr) ::PostMessageW(window, kRunTasks, 0, 0);
}

}  // namespace convert
