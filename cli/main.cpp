#include <unistd.h>

#include <clocale>
#include <cstdlib>

#include <iostream>

#include "cli.h"
#include "shell/translate.h"
#include "stop_signal.h"

int main(int argc, char** argv) {
    if (const char* languages = std::getenv("LANGUAGE"); languages != nullptr) {
        ::setenv("LANGUAGE", brindle::UpToEnglish(languages).c_str(), 1);
    }
    std::setlocale(LC_ALL, "");
    brindle::BindCatalogue();
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && (args.front() == "split" || args.front() == "join")) {
        brindle::cli::CatchStopSignals();
    }
    brindle::cli::Console console{std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1};
    return brindle::cli::Run(args, console);
}
