#include "args.h"

#include <algorithm>
#include <cctype>
#include <ctime>
#include <filesystem>

#include "shell/paths.h"

namespace brindle::cli {
namespace {

std::tm LocalNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    return local;
}

}  // namespace

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
    if (auto attached = AttachedValue()) {
        return attached;
    }
    if (next_ >= words_.size()) {
        return std::nullopt;
    }
    return words_[next_++];
}

std::optional<std::string> Args::AttachedValue() const {
    const auto eq = word_.find('=');
    if (eq == std::string::npos) {
        return std::nullopt;
    }
    return word_.substr(eq + 1);
}

std::string AbsolutePath(const std::string& path) {
    std::error_code error;
    const std::filesystem::path current = std::filesystem::current_path(error);
    return error ? path : brindle::AbsolutePath(path, current.string());
}

std::chrono::year_month_day Today() {
    const std::tm local = LocalNow();
    return std::chrono::year_month_day{std::chrono::year{local.tm_year + 1900},
                                       std::chrono::month{static_cast<unsigned>(local.tm_mon + 1)},
                                       std::chrono::day{static_cast<unsigned>(local.tm_mday)}};
}


}  // namespace brindle::cli
