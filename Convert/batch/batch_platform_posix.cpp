// convert-batch on POSIX systems: the shell expands patterns, and bytes go
// out as they are.
#include <unistd.h>

#include <iostream>

#include "batch/batch_platform.h"

namespace convert {

StandardStreams standard_streams() {
    return {std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1};
}

std::vector<std::string> files_named_by(const std::string& argument, const std::filesystem::path&) {
    return {argument};
}

std::string folder_refusal(std::string_view) {
    return "";
}

}  // namespace convert
