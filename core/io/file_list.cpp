#include "io/file_list.h"

#include <algorithm>

#include "io/file_io.h"

namespace brindle {
namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool AlphabeticalLess(const std::string& a, const std::string& b) {
    const auto mismatch = std::mismatch(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char x, char y) { return Lower(x) == Lower(y); });
    if (mismatch.first == a.end() || mismatch.second == b.end()) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    }
    return static_cast<unsigned char>(Lower(*mismatch.first)) <
           static_cast<unsigned char>(Lower(*mismatch.second));
}

}  // namespace

bool MatchesPattern(std::string_view name, std::string_view pattern) {
    // Iterative glob with one backtrack point: linear enough for file names.
    std::size_t n = 0;
    std::size_t p = 0;
    std::size_t starP = std::string_view::npos;
    std::size_t starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || Lower(pattern[p]) == Lower(name[n]))) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') {
        ++p;
    }
    return p == pattern.size();
}

Status ListFiles(const std::string& folder, std::string_view pattern, std::vector<std::string>* names) {
    names->clear();
    if (Status status = io::ListFileNames(folder, false, names); !status.ok()) {
        names->clear();
        return status;
    }
    // "*.*" is the classic spelling of "every file", names without a dot included.
    if (pattern != "*.*") {
        std::erase_if(*names, [&](const std::string& name) { return !MatchesPattern(name, pattern); });
    }
    std::sort(names->begin(), names->end(), AlphabeticalLess);
    return Status::Ok();
}

}  // namespace brindle
