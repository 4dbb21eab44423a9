// The Win32 window driven through window messages, its message boxes read
// and dismissed as they open.
#include "main_window_win32.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "test_support.h"

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

/// Reads and dismisses, with OK, every message box that opens while it
/// lives, noting the Close button's state at that moment. A thread timer,
/// so it runs inside the box's own message loop.
class MessageBoxReader {
public:
    struct Seen {
        std::wstring caption;
        std::wstring text;
        int buttons = 0;
        bool icon = false;
        HWND owner = nullptr;
        bool close_enabled = false;
        std::wstring close_caption;
    };

    explicit MessageBoxReader(const F_SPECS& window) : window_(window) {
        current_ = this;
        timer_ = ::SetTimer(nullptr, 0, 10, poll);
    }
    ~MessageBoxReader() {
        ::KillTimer(nullptr, timer_);
        current_ = nullptr;
    }

    std::vector<Seen> seen;
    std::function<void(const Seen&)> while_open;  // before the box is dismissed

    std::vector<std::wstring> texts() const {
        std::vector<std::wstring> result;
        for (const Seen& s : seen) result.push_back(s.text);
        return result;
    }

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
        Seen s;
        s.caption = text_of(box);
        s.text = text_of(::GetDlgItem(box, 0xFFFF));
        s.owner = ::GetWindow(box, GW_OWNER);
        for (HWND c = ::GetWindow(box, GW_CHILD); c != nullptr; c = ::GetWindow(c, GW_HWNDNEXT)) {
            wchar_t kind[16] = {};
            ::GetClassNameW(c, kind, 16);
            const LONG style = ::GetWindowLongW(c, GWL_STYLE);
            if (std::wstring(kind) == L"Button" && ::IsWindowVisible(c)) ++s.buttons;
            if (std::wstring(kind) == L"Static" && (style & SS_TYPEMASK) == SS_ICON &&
                ::SendMessageW(c, STM_GETICON, 0, 0) != 0) {
                s.icon = true;
            }
        }
        s.close_enabled = ::IsWindowEnabled(current_->window_.B_CLOSE);
        s.close_caption = text_of(current_->window_.B_CLOSE);
        current_->seen.push_back(s);
        if (current_->while_open) current_->while_open(s);
        ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    }

    static inline MessageBoxReader* current_ = nullptr;
    const F_SPECS& window_;
    UINT_PTR timer_ = 0;
};

/// Handles the messages waiting, as the program's loop would; true when the
/// window asked the program to end.
bool pump() {
    bool quit = false;
    MSG message{};
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            quit = true;
            continue;
        }
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return quit;
}

/// A mouse double-click at `y` pixels into row `row`'s height, or below the
/// last row when `row` is -1.
void double_click(HWND list, int row) {
    RECT r{};
    if (row >= 0) {
        ::SendMessageW(list, LB_GETITEMRECT, static_cast<WPARAM>(row),
                       reinterpret_cast<LPARAM>(&r));
    } else {
        ::GetClientRect(list, &r);
        r.top = r.bottom - 4;
    }
    const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    ::SendMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::SendMessageW(list, WM_LBUTTONUP, 0, at);
    ::SendMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    ::SendMessageW(list, WM_LBUTTONUP, 0, at);
}

std::vector<std::wstring> entries(HWND list) {
    std::vector<std::wstring> result;
    const auto count = static_cast<int>(::SendMessageW(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        std::wstring text(static_cast<std::size_t>(::SendMessageW(list, LB_GETTEXTLEN, i, 0)) + 1,
                          L'\0');
        text.resize(static_cast<std::size_t>(
            ::SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text.data()))));
        result.push_back(text);
    }
    return result;
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

/// A folder of files and the window made on it.
struct ShownWindow {
    explicit ShownWindow(std::vector<std::pair<std::string, std::string>> files) {
        for (const auto& [name, bytes] : files) write_file(dir / name, bytes);
        created = window.create(SW_SHOWNORMAL);
        pump();
    }
    ~ShownWindow() { pump(); }
    ScopedTempDir dir;
    F_SPECS window{dir.path()};
    bool created = false;
};

TEST(Win32Window, ControlsStandWhereTheyBelong) {
    ShownWindow shown({{"spe2001.csv", "x"}, {"NOTES.CSV", "x"}, {"x.txt", "x"}});
    ASSERT_TRUE(shown.created);
    F_SPECS& w = shown.window;
    ASSERT_EQ(::GetDpiForWindow(w.window()), 96u);
    EXPECT_EQ(text_of(w.window()), L"Convert .QMR to .TXT");
    RECT client{};
    ::GetClientRect(w.window(), &client);
    EXPECT_TRUE(client == (RECT{0, 0, 341, 266}));
    EXPECT_TRUE(client_rect_of(w.S_YEARS) == (RECT{56, 16, 285, 180}));
    EXPECT_TRUE(client_rect_of(w.Label1) == (RECT{60, 184, 285, 205}));
    EXPECT_TRUE(client_rect_of(w.B_CLOSE) == (RECT{224, 224, 309, 253}));
    EXPECT_EQ(text_of(w.Label1), L"Double click year to convert");
    EXPECT_EQ(text_of(w.B_CLOSE), L"Close");
    const LONG list_style = ::GetWindowLongW(w.S_YEARS, GWL_STYLE);
    EXPECT_EQ(list_style & (LBS_SORT | LBS_MULTIPLESEL | LBS_EXTENDEDSEL), 0);
    EXPECT_EQ(::GetWindowLongW(w.B_CLOSE, GWL_STYLE) & BS_TYPEMASK, BS_PUSHBUTTON);
    LOGFONTW font{};
    ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(w.Label1, WM_GETFONT, 0, 0)), sizeof font,
                 &font);
    EXPECT_EQ(std::wstring(font.lfFaceName), L"Arial");
    EXPECT_EQ(font.lfHeight, -13);
    EXPECT_EQ(font.lfWeight, FW_NORMAL);
    EXPECT_EQ(::GetFocus(), w.S_YEARS);
    EXPECT_EQ(::SendMessageW(w.S_YEARS, LB_GETCURSEL, 0, 0), LB_ERR);
    const std::wstring today = entries(w.S_YEARS).at(0).substr(9);
    EXPECT_EQ(entries(w.S_YEARS),
              (std::vector<std::wstring>{L"NOTES.CSV" + today, L"SPE2001.CSV" + today}));
}

TEST(Win32Window, ConvertsTheDoubleClickedEntryThenRefusesIt) {
    ShownWindow shown({{"NOTES.CSV", "x"}, {"SPE1999.CSV", kValid}, {"SP1999.TXT", "old"}});
    ASSERT_TRUE(shown.created);
    F_SPECS& w = shown.window;
    MessageBoxReader reader(w);
    const std::wstring listed = entries(w.S_YEARS).at(1);

    double_click(w.S_YEARS, -1);  // the empty area
    double_click(w.S_YEARS, 1);
    ASSERT_EQ(reader.texts(), std::vector<std::wstring>{L"Done."});
    const MessageBoxReader::Seen& done = reader.seen.front();
    EXPECT_EQ(done.caption, L"Convert");
    EXPECT_EQ(done.buttons, 1);
    EXPECT_FALSE(done.icon);
    EXPECT_EQ(done.owner, w.window());
    EXPECT_TRUE(done.close_enabled);
    EXPECT_EQ(done.close_caption, L"Close");
    EXPECT_EQ(read_file(shown.dir / "SP1999.TXT"), kExampleTarget);
    EXPECT_EQ(entries(w.S_YEARS).at(1), L"*" + listed);

    double_click(w.S_YEARS, 1);
    double_click(w.S_YEARS, 0);
    EXPECT_EQ(reader.texts(),
              (std::vector<std::wstring>{L"Done.", L"*SPE1999.CS is already converted",
                                         L"Invalid file name: NOTES.CSV -"}));
}

TEST(Win32Window, EachOverLongValueInABoxWhileBusyThenNotConverted) {
    ShownWindow shown(
        {{"SPE1999.CSV", source_with_a1({{"Zeta", "Z1", "1234"}, {"Zeta", "Z2", "5678"}})},
         {"SP1999.TXT", "old"}});
    ASSERT_TRUE(shown.created);
    F_SPECS& w = shown.window;
    MessageBoxReader reader(w);
    double_click(w.S_YEARS, 0);
    const std::wstring field = L"\r\n\r\nField: A1  Response Length:  4   Response: ";
    ASSERT_EQ(reader.texts(),
              (std::vector<std::wstring>{L"Model: Zeta  Z1" + field + L"1234  is longer than: 3",
                                         L"Model: Zeta  Z2" + field + L"5678  is longer than: 3",
                                         L"Data not converted."}));
    EXPECT_FALSE(reader.seen[0].close_enabled);
    EXPECT_EQ(reader.seen[0].close_caption, L"Working...");
    EXPECT_TRUE(reader.seen[2].close_enabled);
    EXPECT_EQ(reader.seen[2].close_caption, L"Close");
    EXPECT_EQ(read_file(shown.dir / "SP1999.TXT"), "old");
}

TEST(Win32Window, KeysAndClose) {
    struct Case {
        const char* what;
        std::function<void(F_SPECS&)> act;
        bool closes;
    };
    const std::vector<Case> cases = {
        {"Enter on the list", [](F_SPECS& w) { ::SendMessageW(w.window(), WM_COMMAND, IDOK, 0); },
         false},
        {"Escape", [](F_SPECS& w) { ::SendMessageW(w.window(), WM_COMMAND, IDCANCEL, 0); }, false},
        {"Enter on Close",
         [](F_SPECS& w) {
             ::SetFocus(w.B_CLOSE);
             ::SendMessageW(w.window(), WM_COMMAND, IDOK, 0);
         },
         true},
        {"a click on Close", [](F_SPECS& w) { ::SendMessageW(w.B_CLOSE, BM_CLICK, 0, 0); }, true},
    };
    for (const Case& c : cases) {
        ShownWindow shown({{"SPE1999.CSV", kValid}});
        ASSERT_TRUE(shown.created);
        ::SendMessageW(shown.window.S_YEARS, LB_SETCURSEL, 0, 0);
        c.act(shown.window);
        EXPECT_EQ(pump(), c.closes) << c.what;
        EXPECT_EQ(shown.window.window() == nullptr, c.closes) << c.what;
        EXPECT_FALSE(fs::exists(shown.dir / "SP1999.TXT")) << c.what;
    }
}

TEST(Win32Window, ACloseDuringARunWaitsForItsEnd) {
    ShownWindow shown({{"SPE1999.CSV", source_with_a1({{"Zeta", "Z1", "1234"}})}});
    ASSERT_TRUE(shown.created);
    F_SPECS& w = shown.window;
    MessageBoxReader reader(w);
    reader.while_open = [&](const MessageBoxReader::Seen&) {
        ::PostMessageW(w.window(), WM_CLOSE, 0, 0);
    };
    double_click(w.S_YEARS, 0);
    EXPECT_EQ(reader.seen.size(), 2u);  // the run went on to its last message
    EXPECT_NE(w.window(), nullptr);
    EXPECT_TRUE(pump());
    EXPECT_EQ(w.window(), nullptr);
}

}  // namespace
