#pragma once

#include <optional>
#include <string>
#include <vector>

namespace brindle::cli {

// A small reader of "--name VALUE", "--name=VALUE", "--flag" and positional words.
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

private:
    std::vector<std::string> words_;
    std::size_t next_ = 0;
    std::string word_;
    bool afterDashes_ = false;
};

// A path made absolute against the current folder, as typed otherwise.
std::string AbsolutePath(const std::string& path);

}  // namespace brindle::cli
