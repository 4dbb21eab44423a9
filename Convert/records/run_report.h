// What a conversion run tells its front end while it works: the messages it
// shows, in order, and how far the reading has come.
#pragma once

#include <cstdint>
#include <string>

namespace convert {

class RunReport {
public:
    virtual ~RunReport() = default;

    /// A message for the user, shown before the run goes on (a window shows
    /// it in a modal box). Line breaks are CR LF.
    virtual void message(const std::string& text) = 0;

    /// `done` of the source's `total` bytes have been read (total is 0 when
    /// unknown). Called at most once per block read.
    virtual void progress(std::uint64_t done, std::uint64_t total) {
        (void)done;
        (void)total;
    }
};

}  // namespace convert
