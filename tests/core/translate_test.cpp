#include "shell/translate.h"

#include <gtest/gtest.h>

namespace brindle {
namespace {

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

TEST(TranslateTest, UntranslatedTextIsItsSource) {
    const char* text = "a text no catalogue holds";
    EXPECT_STREQ(Tr(text), text);
    EXPECT_STREQ(TrN("%1 piece", "%1 pieces", 1), "%1 piece");
    EXPECT_STREQ(TrN("%1 piece", "%1 pieces", 2), "%1 pieces");
}

}  // namespace
}  // namespace brindle
