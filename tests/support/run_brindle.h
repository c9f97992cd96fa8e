#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "cli.h"

namespace brindle::test {

// What the command returned and printed, run in this process.
struct Outcome {
    int code;
    std::string out;
    std::string err;
};

inline Outcome Brindle(const std::vector<std::string>& args) {
    std::ostringstream out;
    std::ostringstream err;
    cli::Console console{out, err, false};
    const int code = cli::Run(args, console);
    return {code, out.str(), err.str()};
}

}  // namespace brindle::test
