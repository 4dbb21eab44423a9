// The Win32 window driven through window messages to its real controls,
// found by their identifiers; its message boxes are read and dismissed as
// they open.
#include "window_win32/main_window_win32.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <objbase.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "files/file_ops.h"
#include "test_support.h"
#include "window_scenarios.h"

using namespace convert;
using namespace testing_support;
namespace fs = std::filesystem;

namespace {

std::wstring text_of(HWND window) {
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        ::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

/// UTF-8, with CR LF as "\n", as the scenarios write texts.
std::string utf8(const std::wstring& text) {
    std::string bytes = bytes_of(fs::path(text));
    for (std::size_t at = 0; (at = bytes.find("\r\n", at)) != std::string::npos; ++at) {
        bytes.replace(at, 2, "\n");
    }
    return bytes;
}

/// Reads and dismisses, with OK, every message box that opens while it
/// lives, noting the Close button's state at that moment. A thread timer,
/// so it runs inside the box's own message loop.
class MessageBoxReader {
public:
    struct Details {
        std::wstring caption;
        int buttons = 0;
        bool icon = false;
        HWND owner = nullptr;
    };

    explicit MessageBoxReader(HWND window) : window_(window) {
        current_ = this;
        timer_ = ::SetTimer(nullptr, 0, 10, poll);
    }
    ~MessageBoxReader() {
        ::KillTimer(nullptr, timer_);
        current_ = nullptr;
    }

    std::vector<window_scenarios::Box> seen;
    std::vector<Details> details;
    std::function<void(const window_scenarios::Box&)> while_open;
    std::function<bool(const window_scenarios::Box&)> skip_when;

private:
    static void CALLBACK poll(HWND, UINT, UINT_PTR, DWORD) {
        HWND box = nullptr;
        ::EnumThreadWindows(
            ::GetCurrentThreadId(),
            [](HWND window, LPARAM found) -> BOOL {
                wchar_t kind[16] = {};
                ::GetClassNameW(window, kind, 16);
                if (std::wstring(kind) != L"#32770" || !::IsWindowVisible(window)) return TRUE;
                *reinterpret_cast<HWND*>(found) = window;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&box));
        if (box == nullptr || current_ == nullptr || ::GetPropW(box, L"read") != nullptr) return;
        ::SetPropW(box, L"read", box);
        Details d;
        d.caption = text_of(box);
        d.owner = ::GetWindow(box, GW_OWNER);
        for (HWND c = ::GetWindow(box, GW_CHILD); c != nullptr; c = ::GetWindow(c, GW_HWNDNEXT)) {
            wchar_t kind[16] = {};
            ::GetClassNameW(c, kind, 16);
            const LONG style = ::GetWindowLongW(c, GWL_STYLE);
            if (std::wstring(kind) == L"Button" && ::IsWindowVisible(c)) ++d.buttons;
            if (std::wstring(kind) == L"Static" && (style & SS_TYPEMASK) == SS_ICON &&
                ::SendMessageW(c, STM_GETICON, 0, 0) != 0) {
                d.icon = true;
            }
        }
        // A message box's text has its own identifier; a task dialog's is
        // its one text of its own.
        HWND text = ::GetDlgItem(box, 0xFFFF);
        for (HWND c = ::GetWindow(box, GW_CHILD); text == nullptr && c != nullptr;
             c = ::GetWindow(c, GW_HWNDNEXT)) {
            wchar_t kind[16] = {};
            ::GetClassNameW(c, kind, 16);
            if (std::wstring(kind) == L"Static" && ::GetWindowTextLengthW(c) > 0) text = c;
        }
        const HWND skip = ::GetDlgItem(box, kSkipRestId);
        HWND close = ::GetDlgItem(current_->window_, kCloseButtonId);
        std::string caption = utf8(text_of(close));
        std::erase(caption, '&');
        current_->seen.push_back(
            {utf8(text_of(text)), ::IsWindowEnabled(close) != 0, caption, skip != nullptr});
        current_->details.push_back(d);
        if (current_->while_open) current_->while_open(current_->seen.back());
        if (skip != nullptr) {
            const bool skips = current_->skip_when && current_->skip_when(current_->seen.back());
            ::PostMessageW(box, TDM_CLICK_BUTTON, skips ? kSkipRestId : IDOK, 0);
        } else {
            ::PostMessageW(box, WM_COMMAND, IDOK, 0);
        }
    }

    static inline MessageBoxReader* current_ = nullptr;
    HWND window_;
    UINT_PTR timer_ = 0;
};

/// Handles the messages waiting, as the program's loop does; true when the
/// window asked the program to end.
bool pump(HWND window) {
    bool quit = false;
    MSG message{};
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            quit = true;
            continue;
        }
        if (::IsWindow(window) && ::IsDialogMessageW(window, &message)) continue;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return quit;
}

class Win32Driver : public window_scenarios::Driver {
public:
    ~Win32Driver() override {
        reader_.reset();
        window_.reset();
        pump(nullptr);
    }
    bool open(const fs::path& folder, const RunFiles& files = real_files()) override {
        ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);  // for the taskbar's progress
        window_ = std::make_unique<MainWindow>(folder);
        window_->session().use_files(files);
        if (!window_->create(SW_SHOWNORMAL)) return false;
        reader_ = std::make_unique<MessageBoxReader>(window_->window());
        reader_->skip_when = [this](const window_scenarios::Box& box) { return skip && skip(box); };
        pump(hwnd());
        return true;
    }
    void wait_until_idle() override {
        const ULONGLONG give_up = ::GetTickCount64() + 60'000;
        do {
            pump(hwnd());
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        } while (window_->session().busy() && ::GetTickCount64() < give_up);
        pump(hwnd());
    }
    std::vector<std::string> entries() override {
        std::vector<std::string> result;
        const auto count = static_cast<int>(::SendMessageW(list(), LB_GETCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            std::wstring text(
                static_cast<std::size_t>(::SendMessageW(list(), LB_GETTEXTLEN, i, 0)) + 1, L'\0');
            text.resize(static_cast<std::size_t>(
                ::SendMessageW(list(), LB_GETTEXT, i, reinterpret_cast<LPARAM>(text.data()))));
            result.push_back(utf8(text));
        }
        return result;
    }
    void select(int row) override { ::SendMessageW(list(), LB_SETCURSEL, row, 0); }
    void double_click(int row) override {
        RECT r{};
        if (row >= 0) {
            ::SendMessageW(list(), LB_GETITEMRECT, static_cast<WPARAM>(row),
                           reinterpret_cast<LPARAM>(&r));
        } else {
            ::GetClientRect(list(), &r);
            r.top = r.bottom - 4;
        }
        const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        ::SendMessageW(list(), WM_LBUTTONDOWN, MK_LBUTTON, at);
        ::SendMessageW(list(), WM_LBUTTONUP, 0, at);
        ::SendMessageW(list(), WM_LBUTTONDBLCLK, MK_LBUTTON, at);
        ::SendMessageW(list(), WM_LBUTTONUP, 0, at);
        pump(hwnd());
    }
    void press_enter() override {
        ::SetFocus(list());
        ::PostMessageW(list(), WM_KEYDOWN, VK_RETURN, 1);
        ::PostMessageW(list(), WM_KEYUP, VK_RETURN, 0xC0000001);
        pump(hwnd());
    }
    void press_enter_on_close() override {
        const HWND close = ::GetDlgItem(hwnd(), kCloseButtonId);
        ::SetFocus(close);
        ::PostMessageW(close, WM_KEYDOWN, VK_RETURN, 1);
        ::PostMessageW(close, WM_KEYUP, VK_RETURN, 0xC0000001);
        pump(hwnd());
    }
    void click_close() override {
        ::SendMessageW(::GetDlgItem(hwnd(), kCloseButtonId), BM_CLICK, 0, 0);
        pump(hwnd());
    }
    void request_close() override { ::PostMessageW(hwnd(), WM_CLOSE, 0, 0); }
    bool is_open() override {
        pump(hwnd());
        return hwnd() != nullptr;
    }
    std::string close_caption() override {
        std::string caption = utf8(text_of(::GetDlgItem(hwnd(), kCloseButtonId)));
        std::erase(caption, '&');
        return caption;
    }
    void after(int milliseconds, std::function<void()> action) override {
        pending_ = std::move(action);
        ::SetTimer(nullptr, 0, static_cast<UINT>(milliseconds), [](HWND, UINT, UINT_PTR id, DWORD) {
            ::KillTimer(nullptr, id);
            if (pending_) std::exchange(pending_, nullptr)();
        });
    }
    std::vector<window_scenarios::Box> boxes() override { return reader_->seen; }
    void while_box_open(std::function<void(const window_scenarios::Box&)> action) override {
        reader_->while_open = std::move(action);
    }

    HWND hwnd() const { return window_ ? window_->window() : nullptr; }
    HWND list() const { return ::GetDlgItem(hwnd(), kYearListId); }
    MessageBoxReader& reader() { return *reader_; }

private:
    static inline std::function<void()> pending_;  // what after() runs
    std::unique_ptr<MainWindow> window_;
    std::unique_ptr<MessageBoxReader> reader_;
};

TEST(Win32Window, Scenarios) {
    for (const window_scenarios::Scenario& scenario : window_scenarios::scenarios()) {
        Win32Driver driver;
        for (const std::string& line : window_scenarios::play(scenario, driver)) {
            ADD_FAILURE() << scenario.name << ": " << line;
        }
    }
}

RECT client_rect_of(HWND control) {
    RECT r{};
    ::GetWindowRect(control, &r);
    ::MapWindowPoints(nullptr, ::GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

bool operator==(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

TEST(Win32Window, ControlsStandWhereTheyBelong) {
    ScopedTempDir dir;
    Win32Driver driver;
    ASSERT_TRUE(driver.open(dir.path()));
    const HWND w = driver.hwnd();
    const HWND list = driver.list();
    const HWND label = ::GetDlgItem(w, kLabelId);
    const HWND close = ::GetDlgItem(w, kCloseButtonId);
    ASSERT_EQ(::GetDpiForWindow(w), 96u);
    wchar_t window_class[16] = {};
    ::GetClassNameW(w, window_class, 16);
    EXPECT_EQ(std::wstring(window_class), L"F_SPECS");
    EXPECT_EQ(text_of(w), L"Convert .QMR to .TXT");
    RECT client{};
    ::GetClientRect(w, &client);
    EXPECT_TRUE(client == (RECT{0, 0, 341, 266}));
    EXPECT_TRUE(client_rect_of(list) == (RECT{56, 16, 285, 180}));
    EXPECT_TRUE(client_rect_of(label) == (RECT{60, 184, 285, 205}));
    EXPECT_TRUE(client_rect_of(close) == (RECT{224, 224, 309, 253}));
    EXPECT_EQ(text_of(label), L"Double click year to convert");
    EXPECT_EQ(text_of(close), L"&Close");
    // The label stands before the list, which screen readers name by it.
    EXPECT_EQ(::GetWindow(list, GW_HWNDPREV), label);
    const LONG list_style = ::GetWindowLongW(list, GWL_STYLE);
    EXPECT_EQ(list_style & (LBS_SORT | LBS_MULTIPLESEL | LBS_EXTENDEDSEL), 0);
    EXPECT_EQ(::GetWindowLongW(close, GWL_STYLE) & BS_TYPEMASK, BS_PUSHBUTTON);
    LOGFONTW font{};
    ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(label, WM_GETFONT, 0, 0)), sizeof font,
                 &font);
    EXPECT_EQ(std::wstring(font.lfFaceName), L"Arial");
    EXPECT_EQ(font.lfHeight, -13);
    EXPECT_EQ(font.lfWeight, FW_NORMAL);
    EXPECT_EQ(::GetFocus(), list);
    EXPECT_EQ(::SendMessageW(list, LB_GETCURSEL, 0, 0), LB_ERR);
}

// A box about a value offers OK and Skip the rest; every other box OK
// alone. All are the window's, titled, without an icon.
TEST(Win32Window, MessageBoxesArePlainAndOwnedByTheWindow) {
    ScopedTempDir dir;
    write_file(dir / "SPE1999.CSV", source_with_a1({{"Zeta", "Z1", "1234"}}));
    Win32Driver driver;
    ASSERT_TRUE(driver.open(dir.path()));
    driver.double_click(0);
    driver.wait_until_idle();
    ASSERT_EQ(driver.reader().details.size(), 2u);
    for (const int box : {0, 1}) {
        const MessageBoxReader::Details& details = driver.reader().details[box];
        EXPECT_EQ(details.caption, L"Convert");
        EXPECT_EQ(details.buttons, box == 0 ? 2 : 1);
        EXPECT_FALSE(details.icon);
        EXPECT_EQ(details.owner, driver.hwnd());
    }
}

// The end of a Windows session during a run: held up while it may wait,
// then the run stops at once, its temporary gone before the window answers,
// the old target kept, no box more.
TEST(Win32Window, TheSessionsEndStopsARun) {
    ScopedTempDir dir;
    write_file(dir / "SPE1999.CSV", source_with_a1({{"Zeta", "Z1", "1234"}}));
    write_file(dir / "SP1999.TXT", "old");
    Win32Driver driver;
    ASSERT_TRUE(driver.open(dir.path()));
    LRESULT query = -1;
    std::vector<std::string> names;
    driver.reader().while_open = [&](const window_scenarios::Box&) {
        query = ::SendMessageW(driver.hwnd(), WM_QUERYENDSESSION, 0, 0);
        ::SendMessageW(driver.hwnd(), WM_ENDSESSION, TRUE, 0);
        names = dir.names();
    };
    driver.double_click(0);
    driver.wait_until_idle();
    EXPECT_EQ(query, FALSE);
    EXPECT_EQ(names, (std::vector<std::string>{"SP1999.TXT", "SPE1999.CSV"}));
    EXPECT_EQ(read_file(dir / "SP1999.TXT"), "old");
    EXPECT_EQ(driver.reader().seen.size(), 1u);
}

// Keys while Close has the focus, with a source in the folder: Escape does
// nothing, Enter closes and converts nothing.
TEST(Win32Window, KeysOnClose) {
    struct Case {
        const char* what;
        std::function<void(HWND window, HWND close)> act;
        bool closes;
    };
    const std::vector<Case> cases = {
        {"Escape", [](HWND w, HWND) { ::SendMessageW(w, WM_COMMAND, IDCANCEL, 0); }, false},
        {"Enter on Close",
         [](HWND w, HWND close) {
             ::SetFocus(close);
             ::SendMessageW(w, WM_COMMAND, IDOK, 0);
         },
         true},
    };
    for (const Case& c : cases) {
        ScopedTempDir dir;
        write_file(dir / "SPE1999.CSV", kValid);
        Win32Driver driver;
        ASSERT_TRUE(driver.open(dir.path()));
        ::SendMessageW(driver.list(), LB_SETCURSEL, 0, 0);
        c.act(driver.hwnd(), ::GetDlgItem(driver.hwnd(), kCloseButtonId));
        EXPECT_EQ(driver.is_open(), !c.closes) << c.what;
        EXPECT_TRUE(driver.boxes().empty()) << c.what;
        EXPECT_EQ(dir.names(), std::vector<std::string>{"SPE1999.CSV"}) << c.what;
    }
}

// Controls placed and fonts sized for each DPI, in the rectangle Windows
// suggests.
TEST(Win32Window, LaysItselfOutForEachDpi) {
    ScopedTempDir dir;
    Win32Driver driver;
    ASSERT_TRUE(driver.open(dir.path()));
    const HWND w = driver.hwnd();
    for (const UINT dpi : {120u, 144u, 192u, 96u}) {
        SIZE size{};
        ASSERT_TRUE(::SendMessageW(w, WM_GETDPISCALEDSIZE, dpi, reinterpret_cast<LPARAM>(&size)));
        const RECT suggested{40, 30, 40 + size.cx, 30 + size.cy};
        ::SendMessageW(w, WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                       reinterpret_cast<LPARAM>(&suggested));
        RECT frame{};
        ::GetWindowRect(w, &frame);
        EXPECT_TRUE(frame == suggested) << dpi;
        auto at = [dpi](LONG left, LONG top, LONG right, LONG bottom) {
            const auto s = [dpi](LONG v) { return ::MulDiv(v, static_cast<int>(dpi), 96); };
            return RECT{s(left), s(top), s(left) + s(right - left), s(top) + s(bottom - top)};
        };
        EXPECT_TRUE(client_rect_of(driver.list()) == at(56, 16, 285, 180)) << dpi;
        EXPECT_TRUE(client_rect_of(::GetDlgItem(w, kLabelId)) == at(60, 184, 285, 205)) << dpi;
        EXPECT_TRUE(client_rect_of(::GetDlgItem(w, kCloseButtonId)) == at(224, 224, 309, 253))
            << dpi;
        LOGFONTW font{};
        ::GetObjectW(
            reinterpret_cast<HFONT>(::SendMessageW(::GetDlgItem(w, kLabelId), WM_GETFONT, 0, 0)),
            sizeof font, &font);
        EXPECT_EQ(font.lfHeight, -::MulDiv(13, static_cast<int>(dpi), 96)) << dpi;
        EXPECT_EQ(font.lfCharSet, DEFAULT_CHARSET);
    }
}

// The label drawn in each colour scheme, high contrast included, shows its
// text in the scheme's text colour on the scheme's face colour.
TEST(Win32Window, TheLabelReadsInEveryColourScheme) {
    ScopedTempDir dir;
    Win32Driver driver;
    ASSERT_TRUE(driver.open(dir.path()));
    const HWND label = ::GetDlgItem(driver.hwnd(), kLabelId);
    const int elements[] = {COLOR_BTNFACE, COLOR_BTNTEXT};
    const COLORREF before[] = {::GetSysColor(COLOR_BTNFACE), ::GetSysColor(COLOR_BTNTEXT)};
    const COLORREF schemes[][2] = {{RGB(0, 0, 0), RGB(255, 255, 255)},
                                   {RGB(255, 255, 255), RGB(0, 0, 0)},
                                   {RGB(0, 0, 128), RGB(255, 255, 0)}};
    RECT r{};
    ::GetClientRect(label, &r);
    for (const auto& scheme : schemes) {
        ::SetSysColors(2, elements, scheme);
        const HDC screen = ::GetDC(nullptr);
        const HDC dc = ::CreateCompatibleDC(screen);
        const HBITMAP bitmap = ::CreateCompatibleBitmap(screen, r.right, r.bottom);
        const HGDIOBJ old = ::SelectObject(dc, bitmap);
        ::SendMessageW(label, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
        int face = 0, text = 0;
        for (int y = 0; y < r.bottom; ++y) {
            for (int x = 0; x < r.right; ++x) {
                const COLORREF pixel = ::GetPixel(dc, x, y);
                face += pixel == scheme[0];
                text += pixel == scheme[1];
            }
        }
        EXPECT_GT(face, r.right * r.bottom / 2) << std::hex << scheme[0];
        EXPECT_GT(text, 20) << std::hex << scheme[1];
        ::SelectObject(dc, old);
        ::DeleteObject(bitmap);
        ::DeleteDC(dc);
        ::ReleaseDC(nullptr, screen);
    }
    ::SetSysColors(2, elements, before);
}

}  // namespace
