#include <string>
#include <vector>

#include "batch/batch_command.h"
#include "batch/batch_platform.h"
#include "files/file_ops.h"

int main(int argc, char* argv[]) {
    const convert::StandardStreams streams = convert::standard_streams();
    const std::atomic<bool>& stop = convert::stop_on_interrupt();
    const int status = convert::run_batch(convert::program_arguments(argc, argv), streams.out,
                                          streams.err, streams.err_is_terminal, &stop);
    streams.out.flush();
    streams.err.flush();
    if (status == convert::kInterrupted && stop.load()) convert::end_interrupted();
    return status;
}
