#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace brindle {

// What "Find" and "Replace with" ask for.
struct FindReplace {
    std::string find;  // nothing to find: the name stays as it is
    std::string replace;
    bool regex = false;  // else plain text
    bool matchCase = true;
};

// A find and replace made ready once for many names. Plain text and patterns (PCRE2, the
// only place core reaches it) alike: with a pattern, the replacement takes $1, ${name} and
// $$. Every match is replaced. Matching work is limited, so a hostile pattern ends with a
// reason instead of running on. Safe to use from several threads at once.
class Replacer {
public:
    explicit Replacer(const FindReplace& what);
    ~Replacer();
    Replacer(Replacer&&) noexcept;
    Replacer& operator=(Replacer&&) noexcept;

    // Why the pattern cannot be used, with the offset of the fault; empty when it can.
    const std::string& problem() const { return problem_; }
    // The text with every match replaced; nothing, with `why` filled, when matching failed
    // (too much work, or a replacement naming a group the pattern lacks).
    std::optional<std::string> Apply(std::string_view text, std::string* why = nullptr) const;

private:
    struct Compiled;
    std::unique_ptr<Compiled> compiled_;
    std::string replace_;
    std::string problem_;
};

}  // namespace brindle
