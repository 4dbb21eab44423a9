#include "background_writer.h"

namespace convert {

BackgroundWriter::BackgroundWriter(TargetSink& sink) : sink_(sink), thread_([this] { run(); }) {}

BackgroundWriter::~BackgroundWriter() {
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return !busy_; });
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void BackgroundWriter::write(std::string_view bytes) {
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return !busy_; });
        pending_ = bytes;
        busy_ = true;
    }
    changed_.notify_all();
}

void BackgroundWriter::finish() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !busy_; });
}

void BackgroundWriter::abandon() {
    finish();
    sink_.abandon();
}

void BackgroundWriter::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return busy_ || stopping_; });
        if (!busy_) return;
        const std::string_view bytes = pending_;
        lock.unlock();
        sink_.write(bytes);
        lock.lock();
        busy_ = false;
        changed_.notify_all();
    }
}

}  // namespace convert
