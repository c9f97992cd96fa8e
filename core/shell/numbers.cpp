#include "shell/numbers.h"

#include <cfenv>
#include <cmath>
#include <limits>

namespace brindle {

NumberReading ReadNumber(std::string_view text, char decimalSeparator) {
    NumberReading reading;
    double sign = 1.0;
    double value = 0.0;
    double scale = 0.1;
    bool signSeen = false;
    bool digitSeen = false;
    bool inFraction = false;
    std::size_t i = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ' ') {
            continue;
        }
        if ((c == '+' || c == '-') && !signSeen && !digitSeen && !inFraction) {
            signSeen = true;
            sign = c == '-' ? -1.0 : 1.0;
        } else if (c >= '0' && c <= '9') {
            digitSeen = true;
            if (inFraction) {
                value += (c - '0') * scale;
                scale /= 10.0;
            } else {
                value = value * 10.0 + (c - '0');
            }
        } else if (c == decimalSeparator && !inFraction) {
            inFraction = true;
        } else {
            break;
        }
    }
    reading.value = digitSeen ? sign * value : 0.0;
    reading.numeric = digitSeen && i == text.size();
    return reading;
}

std::int64_t RoundHalfEven(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    constexpr double kLimit = 9.2e18;
    if (value >= kLimit) {
        return std::numeric_limits<std::int64_t>::max();
    }
    if (value <= -kLimit) {
        return std::numeric_limits<std::int64_t>::min();
    }
    // nearbyint honours the rounding mode, which is to-nearest-even unless someone changed it.
    const int saved = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double rounded = std::nearbyint(value);
    std::fesetround(saved);
    return static_cast<std::int64_t>(rounded);
}

}  // namespace brindle
