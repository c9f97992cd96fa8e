#include "shell/translate.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

namespace brindle {
namespace {

// The string literals that follow `at` (adjacent ones joined), still escaped as in C, which is
// also how a catalogue writes them.
std::string LiteralsAt(const std::string& code, std::size_t at) {
    std::string text;
    while (true) {
        at = code.find_first_not_of(" \t\n", at);
        if (at == std::string::npos || code[at] != '"') {
            return text;
        }
        for (++at; at < code.size() && code[at] != '"'; ++at) {
            text += code[at];
            if (code[at] == '\\' && at + 1 < code.size()) {
                text += code[++at];
            }
        }
        ++at;
    }
}

// The msgids of a catalogue, escaped.
std::set<std::string> CatalogueIds(const std::string& path) {
    std::ifstream in(path);
    const std::string po((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::set<std::string> ids;
    for (std::size_t at = po.find("\nmsgid "); at != std::string::npos;
         at = po.find("\nmsgid ", at + 1)) {
        ids.insert(LiteralsAt(po, at + 7));
    }
    return ids;
}

TEST(TranslateTest, FillPutsEachValueWhereItsNumberStands) {
    const struct {
        const char* text;
        const char* filled;
    } cases[] = {
        {"%1 of %2", "a of b"},
        {"%2 vor %1", "b vor a"},  // a translation may reorder them
        {"%1%1", "aa"},
        {"100%% of %1", "100% of a"},
        {"%3 stays", "%3 stays"},  // no third value: left for the reader to see
        {"50% and %", "50% and %"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Fill(c.text, {"a", "b"}), c.filled) << c.text;
    }
}

TEST(TranslateTest, EnglishEndsTheDesktopsLanguages) {
    EXPECT_EQ(UpToEnglish("de:fr"), "de:fr");
    EXPECT_EQ(UpToEnglish("en_GB:de"), "en_GB");
    EXPECT_EQ(UpToEnglish("fr:en.UTF-8:de"), "fr:en.UTF-8");
    EXPECT_EQ(UpToEnglish("es:C"), "es:C");
    EXPECT_EQ(UpToEnglish("eo:de"), "eo:de");  // "eo" is not English
    EXPECT_EQ(UpToEnglish(""), "");
}

// gettext's rule, which the windows follow too: only a plain C or POSIX messages locale
// silences LANGUAGE; the first set of LC_ALL, LC_MESSAGES, LANG is that locale.
TEST(TranslateTest, DesktopLanguagesFollowTheMessagesLocale) {
    const struct {
        const char* lcAll;
        const char* lcMessages;
        const char* lang;
        const char* language;
        const char* wanted;
    } cases[] = {
        {"C", nullptr, "de_DE.UTF-8", "de", ""},
        {nullptr, "POSIX", nullptr, "fr", ""},
        {"", "C", "es_ES.UTF-8", "es", ""},  // an empty LC_ALL is no LC_ALL
        {nullptr, nullptr, nullptr, "de", ""},
        {"C.UTF-8", nullptr, nullptr, "de:fr", "de:fr"},
        {"fr_FR.UTF-8", "C", nullptr, "es", "es"},
        {nullptr, "fr_CA.UTF-8", "de_DE.UTF-8", "", "fr_CA"},
        {nullptr, nullptr, "sr_RS.UTF-8@latin", nullptr, "sr_RS@latin"},
        {nullptr, nullptr, "de_DE.UTF-8", "en_GB:de", "en_GB"},
    };
    for (const auto& c : cases) {
        const auto read = [&c](const char* name) -> const char* {
            const std::string_view variable = name;
            return variable == "LC_ALL"        ? c.lcAll
                   : variable == "LC_MESSAGES" ? c.lcMessages
                   : variable == "LANG"        ? c.lang
                   : variable == "LANGUAGE"    ? c.language
                                               : nullptr;
        };
        EXPECT_EQ(DesktopLanguages(read), c.wanted) << c.wanted;
    }
}

// A text marked in the command or the core (or the windows' --help) but missing from the
// template reaches no translator: scripts/update-translations was not run after it changed.
TEST(TranslateTest, TemplateHoldsEveryMarkedText) {
    const std::string root = BRINDLE_SOURCE_DIR;
    const std::set<std::string> ids = CatalogueIds(root + "/po/tarnwick-brindle.pot");
    int marked = 0;
    for (const char* folder : {"/cli", "/core", "/app"}) {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root + folder)) {
            if (entry.path().extension() != ".cpp" && entry.path().extension() != ".h") {
                continue;
            }
            std::ifstream in(entry.path());
            const std::string code((std::istreambuf_iterator<char>(in)),
                                   std::istreambuf_iterator<char>());
            for (const char* call : {"Tr(", "TrN(", "N_("}) {
                for (std::size_t at = code.find(call); at != std::string::npos;
                     at = code.find(call, at + 1)) {
                    const bool wholeWord =
                        at == 0 || (std::isalnum(static_cast<unsigned char>(code[at - 1])) == 0 &&
                                    code[at - 1] != '_');
                    const std::string text =
                        LiteralsAt(code, at + std::char_traits<char>::length(call));
                    if (!wholeWord || text.empty()) {
                        continue;  // the declaration, or a text translated where it was marked
                    }
                    ++marked;
                    EXPECT_EQ(ids.count(text), 1u) << entry.path().string() << ": " << text;
                }
            }
        }
    }
    EXPECT_GT(marked, 30);
}

}  // namespace
}  // namespace brindle
