#include "window_shared/run_session.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "test_support.h"

using namespace convert;
using namespace testing_support;

namespace {

/// A window without a toolkit: boxes are noted and answered at once, after
/// `in_box` has run as if while the box was open; wake calls are counted.
class FakeWindow : public RunWindow {
public:
    std::vector<std::string> shown;
    std::function<void(Box)> in_box;
    bool closed = false;

    Answer show_message(const MessageLines& message, Box box) override {
        shown.push_back(joined(message, "\r\n"));
        if (in_box) in_box(box);
        return Answer::ok;
    }
    void set_busy(bool) override {}
    void show_progress(Progress, std::uint64_t, std::uint64_t) override {}
    void show_entry(std::size_t) override {}
    void close_window() override { closed = true; }
    void wake() override {
        const std::lock_guard lock(mutex_);
        ++wakes_;
        woken_.notify_all();
    }
    /// Waits until woken since the last call.
    void wait_for_wake() {
        std::unique_lock lock(mutex_);
        woken_.wait(lock, [&] { return wakes_ > 0; });
        wakes_ = 0;
    }

private:
    std::mutex mutex_;
    std::condition_variable woken_;
    int wakes_ = 0;
};

/// The window's thread: does what the run sends until the run has ended or
/// the session has gone.
void run_until_idle(std::unique_ptr<RunSession>& session, FakeWindow& window) {
    while (session && session->busy()) {
        window.wait_for_wake();
        if (session) session->run_tasks();
    }
}

struct SessionCase {
    const char* what;
    std::function<void(std::unique_ptr<RunSession>&, FakeWindow&)> play;
    std::vector<std::string> shown;
    std::vector<std::string> names_after;  // the folder's, SPE1999.CSV and NOTES.CSV besides
};

// Entry 0 is NOTES.CSV, entry 1 SPE1999.CSV with two values too long, entry
// 2 SPE2000.CSV, which converts.
TEST(RunSession, RunsInTurnAndGoesSafelyWhateverIsOpen) {
    const std::string too_long = source_with_a1({{"Zeta", "Z1", "1234"}, {"Zeta", "Z2", "5678"}});
    const std::string first_box =
        "Model: Zeta  Z1\r\n\r\nField: A1  Response Length:  4   Response: 1234  is longer than: 3";
    const auto go_in_box = [](std::unique_ptr<RunSession>& session, FakeWindow& window,
                              RunWindow::Box which) {
        window.in_box = [&session, which](RunWindow::Box box) {
            if (box == which) session.reset();
        };
    };
    const std::vector<SessionCase> cases = {
        {"two runs in one session",
         [](auto& session, auto& window) {
             session->convert(2);
             run_until_idle(session, window);
             session->convert(1);
             run_until_idle(session, window);
         },
         {"Done.", first_box,
          "Model: Zeta  Z2\r\n\r\nField: A1  Response Length:  4   Response: 5678  is longer than: "
          "3",
          "Data not converted."},
         {"SP2000.TXT"}},
        {"a close asked for during a run closes after it; a refusal then shows nothing",
         [](auto& session, auto& window) {
             session->convert(2);
             EXPECT_FALSE(session->may_close());
             run_until_idle(session, window);
             EXPECT_TRUE(window.closed);
             session->convert(0);
         },
         {"Done."},
         {"SP2000.TXT"}},
        {"gone while a box about a value is open",
         [&](auto& session, auto& window) {
             go_in_box(session, window, RunWindow::Box::per_value);
             session->convert(1);
             run_until_idle(session, window);
         },
         {first_box},
         {}},
        {"gone while a box is queued",
         [](auto& session, auto& window) {
             session->convert(1);
             window.wait_for_wake();
             session.reset();
         },
         {},
         {}},
        {"gone while the closing box is open",
         [&](auto& session, auto& window) {
             go_in_box(session, window, RunWindow::Box::plain);
             session->convert(2);
             run_until_idle(session, window);
         },
         {"Done."},
         {"SP2000.TXT"}},
        {"ended during a run: no box more, no temporary",
         [](auto& session, auto& window) {
             window.in_box = [&session](RunWindow::Box) { session->end_now(); };
             session->convert(1);
             run_until_idle(session, window);
             session->convert(2);
         },
         {first_box},
         {}},
    };
    for (const SessionCase& c : cases) {
        SCOPED_TRACE(c.what);
        ScopedTempDir dir;
        write_file(dir / "NOTES.CSV", kValid);
        write_file(dir / "SPE1999.CSV", too_long);
        write_file(dir / "SPE2000.CSV", kValid);
        FakeWindow window;
        auto session = std::make_unique<RunSession>(dir.path(), window);
        c.play(session, window);
        session.reset();
        EXPECT_EQ(window.shown, c.shown);
        std::vector<std::string> names = {"NOTES.CSV", "SPE1999.CSV", "SPE2000.CSV"};
        names.insert(names.begin(), c.names_after.begin(), c.names_after.end());
        std::sort(names.begin(), names.end());
        EXPECT_EQ(dir.names(), names);
    }
}

}  // namespace
