#include "main_window_win32.h"

#include <commctrl.h>

#include "file_ops.h"
#include "shown_text.h"
#include "year_list.h"

namespace convert {

namespace {

constexpr wchar_t kClassName[] = L"ConvertMainWindow";
constexpr int kIconId = 1;

/// Geometry at 96 dots per inch, in pixels of the client area.
constexpr SIZE kClientSize = {341, 266};
constexpr RECT kYearsRect = {56, 16, 56 + 229, 16 + 164};
constexpr RECT kLabelRect = {60, 184, 60 + 225, 184 + 21};
constexpr RECT kCloseRect = {224, 224, 224 + 85, 224 + 29};
/// Arial 9.75 pt is 13 px at 96 dots per inch.
constexpr int kFontPixels = 13;

constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

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

F_SPECS::F_SPECS(std::filesystem::path folder) : folder_(std::move(folder)), run_(*this, folder_) {}

F_SPECS::~F_SPECS() {
    if (window_ != nullptr) ::DestroyWindow(window_);
    if (font_ != nullptr) ::DeleteObject(font_);
}

bool F_SPECS::create(int show) {
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.style = CS_HREDRAW | CS_VREDRAW;
    window_class.lpfnWndProc = window_procedure;
    window_class.hInstance = instance;
    window_class.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(kIconId));
    window_class.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    window_class.lpszClassName = kClassName;
    ::RegisterClassExW(&window_class);  // fails harmlessly when already there

    // Made hidden at 96 DPI, then sized for the DPI of the monitor it is on.
    window_ = ::CreateWindowExW(0, kClassName, L"Convert .QMR to .TXT", kStyle, CW_USEDEFAULT,
                                CW_USEDEFAULT, kClientSize.cx, kClientSize.cy, nullptr, nullptr,
                                instance, this);
    if (window_ == nullptr) return false;
    const auto child = [&](const wchar_t* kind, const wchar_t* text, DWORD style, int id) {
        return ::CreateWindowExW(0, kind, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, window_,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance,
                                 nullptr);
    };
    // Created in tab order. The list keeps its entries in the order added
    // and its height as given.
    S_YEARS =
        child(L"LISTBOX", L"",
              WS_BORDER | WS_VSCROLL | WS_TABSTOP | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT, kYearsId);
    Label1 = child(L"STATIC", L"Double click year to convert", SS_LEFT | SS_NOPREFIX, kLabelId);
    B_CLOSE = child(L"BUTTON", L"Close", WS_TABSTOP | BS_PUSHBUTTON, kCloseId);
    if (S_YEARS == nullptr || Label1 == nullptr || B_CLOSE == nullptr) return false;
    ::SetWindowSubclass(S_YEARS, list_procedure, 0, reinterpret_cast<DWORD_PTR>(this));

    lay_out(::GetDpiForWindow(window_));
    Form_Load();
    focused_ = S_YEARS;
    ::ShowWindow(window_, show);
    ::SetFocus(S_YEARS);
    return true;
}

int F_SPECS::run_message_loop() {
    MSG message{};
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) dispatch(message);
    return static_cast<int>(message.wParam);
}

void F_SPECS::dispatch(MSG& message) {
    // Tab moves between the controls as in a dialog.
    if (window_ != nullptr && ::IsDialogMessageW(window_, &message)) return;
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
}

void F_SPECS::lay_out(UINT dpi) {
    RECT frame{0, 0, scaled(kClientSize.cx, dpi), scaled(kClientSize.cy, dpi)};
    ::AdjustWindowRectExForDpi(&frame, kStyle, FALSE, 0, dpi);
    ::SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    place(S_YEARS, kYearsRect, dpi);
    place(Label1, kLabelRect, dpi);
    place(B_CLOSE, kCloseRect, dpi);

    HFONT font = ::CreateFontW(-scaled(kFontPixels, dpi), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                               ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                               CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_SWISS, L"Arial");
    for (HWND control : {window_, S_YEARS, Label1, B_CLOSE}) {
        ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
    if (font_ != nullptr) ::DeleteObject(font_);
    font_ = font;
}

LRESULT CALLBACK F_SPECS::window_procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<F_SPECS*>(reinterpret_cast<CREATESTRUCTW*>(l)->lpCreateParams);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->window_ = window;
    }
    auto* self = reinterpret_cast<F_SPECS*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    return self != nullptr ? self->handle(message, w, l) : ::DefWindowProcW(window, message, w, l);
}

LRESULT CALLBACK F_SPECS::list_procedure(HWND list, UINT message, WPARAM w, LPARAM l, UINT_PTR,
                                         DWORD_PTR self) {
    if (message == WM_LBUTTONDBLCLK) {
        // The list reports a double-click on its empty area too; note where
        // this one fell.
        const auto hit = static_cast<DWORD>(::SendMessageW(list, LB_ITEMFROMPOINT, 0, l));
        reinterpret_cast<F_SPECS*>(self)->double_click_on_entry_ = HIWORD(hit) == 0;
    }
    return ::DefSubclassProc(list, message, w, l);
}

LRESULT F_SPECS::handle(UINT message, WPARAM w, LPARAM l) {
    switch (message) {
        case WM_COMMAND:
            switch (LOWORD(w)) {
                case kYearsId:
                    if (HIWORD(w) == LBN_DBLCLK) S_YEARS_DblClick();
                    return 0;
                case kCloseId:
                    if (HIWORD(w) == BN_CLICKED) B_CLOSE_Click();
                    return 0;
                case IDOK:
                    // Enter: it presses Close only while Close has the focus.
                    if (::GetFocus() == B_CLOSE) B_CLOSE_Click();
                    return 0;
                default:  // Escape (IDCANCEL) presses nothing
                    return 0;
            }
        case WM_CTLCOLORSTATIC:
            ::SetBkMode(reinterpret_cast<HDC>(w), TRANSPARENT);
            return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
        case WM_DPICHANGED: {
            const RECT* suggested = reinterpret_cast<const RECT*>(l);
            ::SetWindowPos(window_, nullptr, suggested->left, suggested->top, 0, 0,
                           SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
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
            ::SetFocus(focused_ != nullptr ? focused_ : S_YEARS);
            return 0;
        case WM_CLOSE:
            if (run_.busy()) {
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
            window_ = S_YEARS = Label1 = B_CLOSE = nullptr;
            return ::DefWindowProcW(window, message, w, l);
        }
        default:
            return ::DefWindowProcW(window_, message, w, l);
    }
}

void F_SPECS::Form_Load() {
    for (std::string& entry : year_list_entries(folder_)) {
        ::SendMessageW(S_YEARS, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(entry).c_str()));
        entries_.push_back(std::move(entry));
    }
}

void F_SPECS::B_CLOSE_Click() {
    ::SendMessageW(window_, WM_CLOSE, 0, 0);
}

void F_SPECS::S_YEARS_DblClick() {
    if (!double_click_on_entry_ || selected_index() < 0) return;
    double_click_on_entry_ = false;
    run_.run();
    // A close asked for during the run is carried out now that it has ended.
    if (close_requested_ && !run_.busy()) ::PostMessageW(window_, WM_CLOSE, 0, 0);
}

std::string F_SPECS::selected_text() const {
    const int index = selected_index();
    return index < 0 ? std::string() : entries_[static_cast<std::size_t>(index)];
}

int F_SPECS::selected_index() const {
    const auto index = static_cast<int>(::SendMessageW(S_YEARS, LB_GETCURSEL, 0, 0));
    return index >= 0 && index < static_cast<int>(entries_.size()) ? index : -1;
}

std::string F_SPECS::entry_text(int index) const {
    return entries_.at(static_cast<std::size_t>(index));
}

void F_SPECS::set_entry_text(int index, const std::string& text) {
    if (index < 0 || index >= static_cast<int>(entries_.size())) return;
    const int selected = selected_index();
    entries_[static_cast<std::size_t>(index)] = text;
    ::SendMessageW(S_YEARS, LB_DELETESTRING, static_cast<WPARAM>(index), 0);
    ::SendMessageW(S_YEARS, LB_INSERTSTRING, static_cast<WPARAM>(index),
                   reinterpret_cast<LPARAM>(wide(text).c_str()));
    ::SendMessageW(S_YEARS, LB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

void F_SPECS::refresh_list() {
    ::InvalidateRect(S_YEARS, nullptr, TRUE);
    ::UpdateWindow(S_YEARS);
}

void F_SPECS::set_close_enabled(bool enabled) {
    ::EnableWindow(B_CLOSE, enabled);
}

void F_SPECS::set_close_caption(const std::string& caption) {
    ::SetWindowTextW(B_CLOSE, wide(caption).c_str());
}

void F_SPECS::process_pending_events() {
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

void F_SPECS::show_message(const std::string& text) {
    const std::u16string shown = shown_message(text);
    const std::wstring caption = wide(kApplicationTitle);
    ::MessageBoxW(window_, std::wstring(shown.begin(), shown.end()).c_str(), caption.c_str(),
                  MB_OK);
}

}  // namespace convert
