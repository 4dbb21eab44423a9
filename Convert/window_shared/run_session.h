// The run of a year-list entry as both windows make it: refusal, busy state,
// the conversion on a thread of its own, the converted mark, the closing
// message and a close asked for meanwhile. The window's thread never waits
// on the file system: the run's thread sends each message to it and waits
// for the user's answer, as a modal box held the run before.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "run/convert_file.h"
#include "run/messages.h"
#include "window_shared/year_list.h"

namespace convert {

/// What a run session asks of its window; called on the window's thread,
/// but for wake.
class RunWindow {
public:
    enum class Box {
        plain,      // a refusal or the closing message: OK only
        per_value,  // a value the target cannot take: OK, and one that skips the rest
    };
    enum class Answer { ok, skip_rest };
    /// How far the run has come, for a progress display.
    enum class Progress { none, reading, failed };

    /// Shows a message, its lines broken the window's way, in a modal box of
    /// the kind given, and returns the button chosen once it is dismissed.
    virtual Answer show_message(const MessageLines& message, Box box) = 0;
    /// The busy state: Close disabled and reading "Working...", or not.
    virtual void set_busy(bool busy) = 0;
    /// `done` of `total` bytes read (total 0 when unknown), at most every
    /// 100 ms; or no progress; or a run that failed.
    virtual void show_progress(Progress progress, std::uint64_t done, std::uint64_t total) = 0;
    /// Entry `index` has a new label; shows it at once.
    virtual void show_entry(std::size_t index) = 0;
    /// Closes the window, as a close asked for during the run would have.
    virtual void close_window() = 0;
    /// Has the window's thread call RunSession::run_tasks soon. Called from
    /// the run's thread.
    virtual void wake() = 0;

protected:
    ~RunWindow() = default;
};

class RunSession {
public:
    /// Lists `folder`, the program's folder, for `window`, which must
    /// outlive the session.
    RunSession(std::filesystem::path folder, RunWindow& window);
    /// Ends as end_now does. Safe while a box of the session is open, or
    /// queued: what it shares with the run's thread outlives it.
    ~RunSession();
    RunSession(const RunSession&) = delete;
    RunSession& operator=(const RunSession&) = delete;

    const YearList& years() const { return years_; }
    /// Whether a run is under way, its closing message included.
    bool busy() const { return running_; }
    /// Whether a run is reading or writing: under way, before its closing
    /// message.
    bool converting() const { return converting_; }

    /// Converts entry `index`, as a double-click or Enter on it asks: shows
    /// its refusal, or starts its run. Nothing while a run is under way or
    /// the window is closing.
    void convert(std::size_t index);
    /// The window is asked to close: true when it may close now, false when
    /// a run is under way, which closes it once it has ended.
    bool may_close();
    /// Does what the run's thread has sent; call on the window's thread when
    /// woken.
    void run_tasks();
    /// The session ends now (the system's session is ending, say): a run
    /// under way stops at once, its new target discarded unless it is
    /// already taking the old one's place, no box more is shown, and this
    /// returns once the run's thread has ended. No run begins afterwards.
    void end_now();

    /// The files runs read and write from now on; tests put theirs here.
    void use_files(const RunFiles& files) { files_ = &files; }

private:
    class Report;
    struct Shared;
    /// Sends `task` to the window's thread; false when the session is going.
    bool send(std::function<void()> task);
    /// The end of a run, on the window's thread.
    void finish(std::size_t index, const RunResult& result);

    YearList years_;
    RunWindow& window_;
    const RunFiles* files_ = &real_files();
    std::shared_ptr<Shared> shared_;
    std::atomic<bool> stop_{false};
    std::thread worker_;
    bool running_ = false;
    bool converting_ = false;
    bool close_requested_ = false;
    bool closing_ = false;
};

}  // namespace convert
