#pragma once

#include <string>
#include <string_view>

namespace brindle {

// Values are the positions in the editor's lists; the extension's list stops at kUpper.
enum class LetterCase { kKeep = 0, kLower = 1, kUpper = 2, kTitle = 3, kSentence = 4 };

// `text` in the letter case asked for, by Unicode's rules (ICU, the only place core reaches
// it): "ÉCOLE" lowers to "école", "straße" uppers to "STRASSE", Title Case capitalises each
// word, Sentence case only the first. Text that is not UTF-8 is returned as it is.
std::string ChangeCase(std::string_view text, LetterCase to);

}  // namespace brindle
