#pragma once

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace brindle::test {

// What a shell command printed and its exit code (-1: it did not exit).
struct Ran {
    std::string output;
    int exit = -1;
};

inline Ran RunShell(const std::string& command) {
    Ran ran;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return ran;
    }
    std::array<char, 4096> buffer{};
    std::size_t got = 0;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
        ran.output.append(buffer.data(), got);
    }
    const int status = ::pclose(pipe);
    ran.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return ran;
}

// A command run quietly from the root folder, for its exit code alone.
inline int Shell(const std::string& command) {
    return std::system(("cd / && " + command + " >/dev/null 2>&1").c_str());
}

#if defined(BRINDLE_CLI_PATH)
// The command's program built over the file road this test runs on (the tests of the
// portable road name theirs in BRINDLE_TEST_CLI).
inline std::string BrindleProgram() {
    const char* program = std::getenv("BRINDLE_TEST_CLI");
    return program != nullptr && *program != '\0' ? program : BRINDLE_CLI_PATH;
}
#endif

inline bool HavePar2() { return std::system("par2 --version >/dev/null 2>&1") == 0; }

}  // namespace brindle::test
