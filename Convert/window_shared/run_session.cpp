#include "window_shared/run_session.h"

#include <chrono>
#include <utility>

namespace convert {

/// What the run's thread tells its session: each message waits for the
/// user's answer on the window's thread; progress goes at most every 100 ms.
class RunSession::Report : public RunReport {
public:
    explicit Report(RunSession& session) : session_(session) {}

    void message(const std::string& text) override {
        // After "Skip the rest" the run goes on checking without boxes.
        if (skip_rest_) return;
        bool answered = false;
        RunWindow::Answer answer = RunWindow::Answer::ok;
        const bool sent = session_.send([&] {
            const RunWindow::Answer chosen =
                session_.window_.show_message(text, RunWindow::Box::per_value);
            const std::lock_guard lock(session_.mutex_);
            answer = chosen;
            answered = true;
            session_.answered_.notify_all();
        });
        if (!sent) return;
        std::unique_lock lock(session_.mutex_);
        session_.answered_.wait(lock, [&] { return answered || session_.going_; });
        skip_rest_ = answered && answer == RunWindow::Answer::skip_rest;
    }

    void progress(std::uint64_t done, std::uint64_t total) override {
        const auto now = std::chrono::steady_clock::now();
        if (now - shown_ < std::chrono::milliseconds(100)) return;
        shown_ = now;
        RunWindow& window = session_.window_;
        session_.send([&window, done, total] {
            window.show_progress(RunWindow::Progress::reading, done, total);
        });
    }

private:
    RunSession& session_;
    bool skip_rest_ = false;
    std::chrono::steady_clock::time_point shown_ = std::chrono::steady_clock::now();
};

RunSession::RunSession(std::filesystem::path folder, RunWindow& window)
    : years_(std::move(folder)), window_(window) {}

RunSession::~RunSession() {
    {
        const std::lock_guard lock(mutex_);
        going_ = true;
    }
    answered_.notify_all();
    if (worker_.joinable()) worker_.join();
}

void RunSession::convert(std::size_t index) {
    if (running_ || closing_ || index >= years_.entries().size()) return;
    if (const std::optional<std::string> refusal = years_.refusal(index)) {
        window_.show_message(*refusal, RunWindow::Box::plain);
        return;
    }
    running_ = true;
    window_.set_busy(true);
    worker_ = std::thread([this, index, source = years_.source(index), &files = *files_] {
        Report report(*this);
        const RunResult result = convert_file(source, {}, report, files);
        send([this, index, result] { finish(index, result); });
    });
}

void RunSession::finish(std::size_t index, const RunResult& result) {
    worker_.join();
    window_.set_busy(false);
    const bool converted = result.outcome == RunOutcome::converted;
    if (converted) {
        // The mark is seen before "Done." is.
        years_.mark_converted(index);
        window_.show_entry(index);
    }
    // A failure shows while its message is read.
    using Progress = RunWindow::Progress;
    window_.show_progress(converted ? Progress::none : Progress::failed, 0, 0);
    window_.show_message(result.message, RunWindow::Box::plain);
    window_.show_progress(Progress::none, 0, 0);
    running_ = false;
    // A close asked for during the run is carried out now that it has ended.
    if (close_requested_) {
        closing_ = true;
        window_.close_window();
    }
}

bool RunSession::may_close() {
    if (running_) {
        // Never leave a run half done: close once it has ended.
        close_requested_ = true;
        return false;
    }
    closing_ = true;
    return true;
}

bool RunSession::send(std::function<void()> task) {
    const std::lock_guard lock(mutex_);
    if (going_) return false;
    tasks_.push_back(std::move(task));
    window_.wake();
    return true;
}

void RunSession::run_tasks() {
    // One at a time, so that a task that opens a box (and lets events
    // through) leaves the rest in order for the call its box lets in.
    for (;;) {
        std::function<void()> task;
        {
            const std::lock_guard lock(mutex_);
            if (tasks_.empty()) return;
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        task();
    }
}

}  // namespace convert
