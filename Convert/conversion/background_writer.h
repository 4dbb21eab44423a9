// Writing a target from a thread of its own, so that the disk's work
// overlaps the conversion's.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string_view>
#include <thread>

#include "target_buffer.h"

namespace convert {

/// Passes each block on to `sink` from a thread of its own: one block is
/// written while TargetBuffer fills the next.
class BackgroundWriter : public TargetSink {
public:
    explicit BackgroundWriter(TargetSink& sink);
    ~BackgroundWriter() override;
    BackgroundWriter(const BackgroundWriter&) = delete;
    BackgroundWriter& operator=(const BackgroundWriter&) = delete;

    /// Waits for the block before, then hands this one over.
    void write(std::string_view bytes) override;
    /// Waits for the block under way, then abandons the sink.
    void abandon() override;
    void finish() override;

private:
    void run();

    TargetSink& sink_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::string_view pending_;  // the block handed over and not yet written
    bool busy_ = false;         // a block is pending or being written
    bool stopping_ = false;
    std::thread thread_;  // last: it starts once the rest is made
};

}  // namespace convert
