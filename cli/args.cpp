#include "args.h"

#include <filesystem>

namespace brindle::cli {

bool Args::Next() {
    if (next_ >= words_.size()) {
        return false;
    }
    word_ = words_[next_++];
    if (word_ == "--" && !afterDashes_) {
        afterDashes_ = true;
        return Next();
    }
    return true;
}

std::string Args::Name() const {
    const auto eq = word_.find('=');
    return eq == std::string::npos ? word_ : word_.substr(0, eq);
}

std::optional<std::string> Args::Value() {
    const auto eq = word_.find('=');
    if (eq != std::string::npos) {
        return word_.substr(eq + 1);
    }
    if (next_ >= words_.size()) {
        return std::nullopt;
    }
    return words_[next_++];
}

std::string AbsolutePath(const std::string& path) {
    if (path.empty()) {
        return path;
    }
    std::error_code error;
    const auto absolute = std::filesystem::absolute(path, error);
    return error ? path : absolute.lexically_normal().string();
}

}  // namespace brindle::cli
