// convert-batch on POSIX systems: the shell expands patterns, bytes go out as
// they are, and signals ask the run to stop.
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>

#include "batch/batch_platform.h"

namespace convert {

namespace {

std::atomic<bool> stop_asked{false};
volatile sig_atomic_t stopping_signal = 0;
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

void on_signal(int signal) {
    if (stop_asked.load()) {
        // A second interruption: the default action, now.
        ::signal(signal, SIG_DFL);
        ::raise(signal);
        return;
    }
    stopping_signal = signal;
    stop_asked.store(true);
}

}  // namespace

StandardStreams standard_streams() {
    return {std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1};
}

FileResult<std::vector<std::filesystem::path>> files_named_by(const std::filesystem::path& argument,
                                                              const std::filesystem::path&) {
    return {{argument}};
}

std::string folder_refusal(std::string_view) {
    return "";
}

const std::atomic<bool>& stop_on_interrupt() {
    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(signal, &action, nullptr);
    return stop_asked;
}

void end_interrupted() {
    const int signal = stopping_signal;
    ::signal(signal, SIG_DFL);
    ::raise(signal);
    std::_Exit(128 + signal);
}

}  // namespace convert
