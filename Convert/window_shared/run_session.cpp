#include "window_shared/run_session.h"

#include <chrono>
#include <utility>

namespace convert {

/// What the window's thread and the run's share. It lives as long as either
/// holds it, so that the session may go while a box of its run is open.
struct RunSession::Shared {
    std::mutex mutex;  // guards what follows
    std::condition_variable changed;
    std::deque<std::function<void()>> tasks;
    bool going = false;  // the session has ended: nothing more is sent or waited for

    bool gone() {
        const std::lock_guard lock(mutex);
        return going;
    }
};

/// What the run's thread tells its session: each message waits for the
/// user's answer on the window's thread; progress goes at most every 100 ms.
class RunSession::Report : public RunReport {
public:
    explicit Report(RunSession& session) : session_(session), shared_(session.shared_) {}

    void problem(const ValueProblem& problem) override {
        // After "Skip the rest" the run goes on checking without boxes.
        if (skip_rest_) return;
        MessageLines text = value_message(problem);
        struct Answer {
            bool given = false;
            RunWindow::Answer button = RunWindow::Answer::ok;
        };
        const auto answer = std::make_shared<Answer>();
        RunWindow& window = session_.window_;
        const bool sent =
            session_.send([&window, shared = shared_, answer, text = std::move(text)] {
                const RunWindow::Answer button =
                    window.show_message(text, RunWindow::Box::per_value);
                const std::lock_guard lock(shared->mutex);
                answer->button = button;
                answer->given = true;
                shared->changed.notify_all();
            });
        if (!sent) return;
        std::unique_lock lock(shared_->mutex);
        shared_->changed.wait(lock, [&] { return answer->given || shared_->going; });
        skip_rest_ = answer->given && answer->button == RunWindow::Answer::skip_rest;
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
    RunSession& session_;  // lives until the run's thread has ended
    std::shared_ptr<Shared> shared_;
    bool skip_rest_ = false;
    std::chrono::steady_clock::time_point shown_ = std::chrono::steady_clock::now();
};

RunSession::RunSession(std::filesystem::path folder, RunWindow& window)
    : years_(std::move(folder)), window_(window), shared_(std::make_shared<Shared>()) {}

RunSession::~RunSession() {
    end_now();
}

void RunSession::end_now() {
    stop_ = true;
    {
        const std::lock_guard lock(shared_->mutex);
        shared_->going = true;
        shared_->tasks.clear();
    }
    shared_->changed.notify_all();
    if (worker_.joinable()) worker_.join();
    running_ = false;
    converting_ = false;
    closing_ = true;
}

void RunSession::convert(std::size_t index) {
    if (running_ || closing_ || index >= years_.entries().size()) return;
    if (const std::optional<std::string> refusal = years_.refusal(index)) {
        window_.show_message({*refusal}, RunWindow::Box::plain);
        return;
    }
    running_ = true;
    converting_ = true;
    window_.set_busy(true);
    worker_ = std::thread([this, index, source = years_.source(index), &files = *files_] {
        Report report(*this);
        const RunResult result = convert_file(source, {.stop = &stop_}, report, files);
        send([this, index, result] { finish(index, result); });
    });
}

void RunSession::finish(std::size_t index, const RunResult& result) {
    worker_.join();
    converting_ = false;
    window_.set_busy(false);
    const bool converted = result.end == RunEnd::converted;
    if (converted) {
        // The mark is seen before "Done." is.
        years_.mark_converted(index);
        window_.show_entry(index);
    }
    // A failure shows while its message is read; the system's reason, if
    // any, follows the message after a blank line.
    using Progress = RunWindow::Progress;
    window_.show_progress(converted ? Progress::none : Progress::failed, 0, 0);
    const std::shared_ptr<Shared> shared = shared_;
    MessageLines message = closing_message(result, years_.shown_name(index));
    if (const std::string_view reason = reason_after(result); !reason.empty()) {
        message.insert(message.end(), {"", std::string(reason)});
    }
    window_.show_message(message, RunWindow::Box::plain);
    if (shared->gone()) return;  // the session went while its box was open
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
    const std::lock_guard lock(shared_->mutex);
    if (shared_->going) return false;
    shared_->tasks.push_back(std::move(task));
    window_.wake();
    return true;
}

void RunSession::run_tasks() {
    // One at a time, so that a task that opens a box (and lets events
    // through) leaves the rest in order for the call its box lets in. The
    // session may go while a task's box is open: then nothing more is done.
    const std::shared_ptr<Shared> shared = shared_;
    for (;;) {
        std::function<void()> task;
        {
            const std::lock_guard lock(shared->mutex);
            if (shared->going || shared->tasks.empty()) return;
            task = std::move(shared->tasks.front());
            shared->tasks.pop_front();
        }
        task();
    }
}

}  // namespace convert
