// The run of a year-list entry as both windows make it: refusal, busy state,
// the conversion on a thread of its own, the converted mark, the closing
// message and a close asked for meanwhile. The window's thread never waits
// on the file system: the run's thread sends each message to it and waits
// for the user's answer, as a modal box held the run before.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "run/convert_file.h"
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

    /// Shows `text` in a modal box of the kind given and returns the
    /// button chosen once it is dismissed.
    virtual Answer show_message(const std::string& text, Box box) = 0;
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
    /// Lists `folder`, the program's folder, for `window`.
    RunSession(std::filesystem::path folder, RunWindow& window);
    /// Waits for a run under way to end; its messages go unanswered.
    ~RunSession();
    RunSession(const RunSession&) = delete;
    RunSession& operator=(const RunSession&) = delete;

    const YearList& years() const { return years_; }
    /// Whether a run is under way, its closing message included.
    bool busy() const { return running_; }

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

    /// The files runs read and write from now on; tests put theirs here.
    void use_files(const RunFiles& files) { files_ = &files; }

private:
    class Report;
    /// Sends `task` to the window's thread; false when the session is going.
    bool send(std::function<void()> task);
    /// The end of a run, on the window's thread.
    void finish(std::size_t index, const RunResult& result);

    YearList years_;
    RunWindow& window_;
    const RunFiles* files_ = &real_files();
    std::thread worker_;
    bool running_ = false;
    bool close_requested_ = false;
    bool closing_ = false;

    std::mutex mutex_;  // guards what follows
    std::deque<std::function<void()>> tasks_;
    bool going_ = false;  // the session is being destroyed
    std::condition_variable answered_;
};

}  // namespace convert
