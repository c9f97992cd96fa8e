#include "rename/letter_case.h"

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <climits>
#include <cstdint>
#include <memory>

namespace brindle {
namespace {

bool IsUtf8(std::string_view text) {
    const auto* s = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto length = static_cast<std::int32_t>(text.size());
    for (std::int32_t i = 0; i < length;) {
        UChar32 c = 0;
        U8_NEXT(s, i, length, c);
        if (c < 0) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::string ChangeCase(std::string_view text, LetterCase to) {
    if (to == LetterCase::kKeep || text.empty() || text.size() > INT32_MAX || !IsUtf8(text)) {
        return std::string(text);
    }
    icu::UnicodeString unicode =
        icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size())));
    // The root locale: a name must not change with the language of whoever renames it.
    const icu::Locale& root = icu::Locale::getRoot();
    UErrorCode status = U_ZERO_ERROR;
    switch (to) {
        case LetterCase::kLower:
            unicode.toLower(root);
            break;
        case LetterCase::kUpper:
            unicode.toUpper(root);
            break;
        case LetterCase::kTitle: {
            std::unique_ptr<icu::BreakIterator> words(icu::BreakIterator::createWordInstance(root, status));
            if (U_FAILURE(status)) {
                return std::string(text);
            }
            unicode.toTitle(words.get(), root);
            break;
        }
        case LetterCase::kSentence: {
            // A whole name is one sentence: a dot inside it starts no other.
            unicode.toLower(root);
            std::int32_t at = 0;
            while (at < unicode.length() && !u_isalnum(unicode.char32At(at))) {
                at = unicode.moveIndex32(at, 1);
            }
            if (at < unicode.length()) {
                const std::int32_t next = unicode.moveIndex32(at, 1);
                icu::UnicodeString letter(unicode, at, next - at);
                letter.toTitle(nullptr, root, U_TITLECASE_NO_BREAK_ADJUSTMENT);
                unicode.replace(at, next - at, letter);
            }
            break;
        }
        case LetterCase::kKeep:
            break;
    }
    std::string out;
    unicode.toUTF8String(out);
    return out;
}

}  // namespace brindle
