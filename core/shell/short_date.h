#pragma once

#include <ctime>
#include <string>

namespace brindle {

// The short date of the user's regional settings, as the C library's time locale gives it;
// the command and the windows both set that locale from the environment at start, so a split
// stores the same date text whichever of them made it.
std::string ShortDate(const std::tm& day);
std::string TodayShortDate();

}  // namespace brindle
