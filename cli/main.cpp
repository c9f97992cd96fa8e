#include <unistd.h>

#include <clocale>

#include <iostream>

#include "cli.h"

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    std::vector<std::string> args(argv + 1, argv + argc);
    brindle::cli::Console console{std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1};
    return brindle::cli::Run(args, console);
}
