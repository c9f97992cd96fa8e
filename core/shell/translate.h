#pragma once

#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

// The command's and the core's texts in the user's language, through gettext's catalogues
// (text domain "tarnwick-brindle"). The program's main chooses the language with
// setlocale(LC_ALL, ""); until then, and in an English or C locale, every text is its English
// source. Texts are whole sentences with numbered placeholders %1, %2... filled by Fill().
namespace brindle {

inline constexpr const char* kTextDomain = "tarnwick-brindle";

// Tells gettext where the catalogues lie: $BRINDLE_LOCALE_DIR, else share/locale beside the
// program's own folder (the build tree's or the installed one), else the configured locale
// folder. Safe to call more than once.
void BindCatalogue();

// A LANGUAGE list ("de:fr") cut after its first English or C entry: English is the source
// language, so reaching it ends the search, as in the windows ("en_GB:de" reads English, where
// gettext alone would go on to German for want of an English catalogue).
std::string UpToEnglish(std::string_view languages);

// The languages the desktop asks for, most wanted first ("de:fr"), by gettext's rule: a messages
// locale (LC_ALL, else LC_MESSAGES, else LANG) of C or POSIX means English whatever LANGUAGE
// says; any other, C.UTF-8 included, lets LANGUAGE's list speak first, else the locale's own
// language. Cut by UpToEnglish; empty, or English first, means English. `variable` reads the
// environment.
std::string DesktopLanguages(const std::function<const char*(const char*)>& variable);
std::string DesktopLanguages();

// Takes the desktop's language and locale for the whole program, the command's and the
// windows' alike: LANGUAGE becomes DesktopLanguages() (gone for English), then
// setlocale(LC_ALL, "") and BindCatalogue(). A desktop locale this system lacks still gives
// its language, through C.UTF-8.
void UseDesktopLanguage();

// The translation of `text`. Leaves errno as it was (gettext keeps it), so a failure's
// sentence and its errno may be arguments of one call.
const char* Tr(const char* text);

// The translation of a text that counts `n` things, in the plural form the language wants.
const char* TrN(const char* singular, const char* plural, unsigned long n);

// `text` with %1, %2... (up to %9) replaced by `values` in their order; a translation may
// place them in any order. "%%" is a plain "%".
std::string Fill(std::string_view text, std::initializer_list<std::string_view> values);

}  // namespace brindle

// Marks a text for extraction where it is translated later (a table's entries).
#define N_(text) text
