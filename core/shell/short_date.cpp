#include "shell/short_date.h"

namespace brindle {

std::string ShortDate(const std::tm& day) {
    char text[64] = {};
    const std::size_t length = std::strftime(text, sizeof text, "%x", &day);
    return std::string(text, length);
}

std::string TodayShortDate() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#if defined(_WIN32)
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    return ShortDate(local);
}

}  // namespace brindle
