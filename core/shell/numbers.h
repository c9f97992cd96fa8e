#pragma once

#include <cstdint>
#include <string_view>

namespace brindle {

// How the program reads a number typed by the user: the leading numeric characters
// (optional sign, digits, optional decimal part), spaces anywhere skipped, stopping at the
// first character that cannot continue the number. A text without a number reads as 0.
struct NumberReading {
    double value = 0.0;
    bool numeric = false;  // the whole text (spaces aside) is one number
};

NumberReading ReadNumber(std::string_view text, char decimalSeparator = '.');

inline double NumberValue(std::string_view text, char decimalSeparator = '.') {
    return ReadNumber(text, decimalSeparator).value;
}

inline bool IsNumeric(std::string_view text, char decimalSeparator = '.') {
    return ReadNumber(text, decimalSeparator).numeric;
}

// Nearest whole number, halves to the even neighbour. Saturates at the int64 range.
std::int64_t RoundHalfEven(double value);

}  // namespace brindle
