#include <unistd.h>

#include <iostream>
#include <utility>

#include "cli.h"
#include "shell/translate.h"
#include "stop_signal.h"

int main(int argc, char** argv) {
    brindle::UseDesktopLanguage();
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && (args.front() == "split" || args.front() == "join" || args.front() == "repair")) {
        brindle::cli::CatchStopSignals();
    }
    brindle::cli::Console console{std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1};
    return brindle::cli::Run(std::move(args), console);
}
