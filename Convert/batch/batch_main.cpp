#include <iostream>
#include <string>
#include <vector>

#include "batch_command.h"

int main(int argc, char* argv[]) {
    return convert::run_batch(std::vector<std::string>(argv + 1, argv + argc), std::cout,
                              std::cerr);
}
