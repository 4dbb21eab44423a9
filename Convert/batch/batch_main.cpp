#include <iostream>
#include <string>
#include <vector>

#include "batch_command.h"
#include "file_ops.h"

int main(int argc, char* argv[]) {
    return convert::run_batch(convert::program_arguments(argc, argv), std::cout, std::cerr);
}
