#pragma once

#include <cstdint>

namespace brindle::test {

// One choice in the split windows: the file's length and what the user entered.
struct SplitChoice {
    const char* what;
    std::int64_t length;
    int mode;
    const char* number;
    const char* size;
    const char* unit;
};

}  // namespace brindle::test
