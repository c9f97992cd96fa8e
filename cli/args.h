#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brindle::cli {

// The one reader of every command's arguments: "--name VALUE", "--name=VALUE", "--flag",
// positional words, and "--" after which every word is positional.
class Args {
public:
    explicit Args(std::vector<std::string> words) : words_(std::move(words)) {}

    // Takes the next word. Returns false at the end.
    bool Next();
    const std::string& Word() const { return word_; }
    bool IsOption() const { return word_.size() > 1 && word_[0] == '-' && !afterDashes_; }
    // The option's name without its value ("--size" for "--size=3").
    std::string Name() const;
    // The option's value: after "=", or the next word. Empty optional when there is none.
    std::optional<std::string> Value();
    // The value after "=" only, for options whose value may be left out: the next word is
    // never taken, so a file that looks like a value stays a file.
    std::optional<std::string> AttachedValue() const;

private:
    std::vector<std::string> words_;
    std::size_t next_ = 0;
    std::string word_;
    bool afterDashes_ = false;
};

// A path made absolute against the current folder, as typed otherwise (".." included).
std::string AbsolutePath(const std::string& path);

// Today in local time.
std::chrono::year_month_day Today();

}  // namespace brindle::cli
