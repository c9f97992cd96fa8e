#include <gtest/gtest.h>

#include <vector>

#include "rename/naming_rule.h"

namespace brindle {
namespace {

using namespace std::chrono;

constexpr year_month_day k5March2026{year{2026}, March, day{5}};

std::vector<RenameRow> Rows(std::initializer_list<std::pair<const char*, bool>> files) {
    std::vector<RenameRow> rows;
    for (const auto& [name, checked] : files) {
        RenameRow row;
        row.fileName = name;
        row.checked = checked;
        rows.push_back(row);
    }
    return rows;
}

std::vector<RenameRow> Checked(std::initializer_list<const char*> names) {
    std::vector<RenameRow> rows;
    for (const char* name : names) {
        rows.push_back(RenameRow{true, "", name, "", {}, ""});
    }
    return rows;
}

std::vector<std::string> NewNames(const std::vector<RenameRow>& rows) {
    std::vector<std::string> names;
    for (const RenameRow& row : rows) {
        names.push_back(row.newFileName);
    }
    return names;
}

NamingRule DateRule(DateMode mode, int step, DateUnit unit, year_month_day base,
                    const char* format, const char* separator) {
    NamingRule rule = InitialNamingRule(base);
    AddItemToSlots(rule, kItemDate);
    rule.DateMode = mode;
    rule.DateStep = static_cast<std::int16_t>(step);
    rule.DateUnit = unit;
    rule.DateFormat = format;
    rule.DateSeparator = separator;
    return rule;
}

NamingRule NumberRule(const char* numberTemplate) {
    NamingRule rule = InitialNamingRule(k5March2026);
    AddItemToSlots(rule, kItemNumber);
    rule.FileNameText = "";
    rule.NumberTemplate = numberTemplate;
    rule.NumberDigits = TemplateDigits(numberTemplate);
    return rule;
}

TEST(SplitFileName, OnlyTheLastDotCounts) {
    const struct {
        const char* name;
        const char* base;
        const char* ext;
    } cases[] = {
        {"archive.tar.gz", "archive.tar", "gz"}, {".profile", "", "profile"},
        {"notes.", "notes", ""},                 {"README", "README", ""},
        {"", "", ""},
    };
    for (const auto& c : cases) {
        const NameParts parts = SplitFileName(c.name);
        EXPECT_EQ(parts.base, c.base) << c.name;
        EXPECT_EQ(parts.extension, c.ext) << c.name;
    }
}

TEST(GenerateNewNames, NameAndExtensionCases) {
    const struct {
        const char* label;
        const char* fileNameText;
        const char* extensionText;
        const char* file;
        const char* expected;
    } cases[] = {
        {"default keeps the name", "Original FileName", "###", "photo.jpg", "photo.jpg"},
        {"default drops a trailing dot", "Original FileName", "###", "notes.", "notes"},
        {"no dot keeps no extension", "Original FileName", "###", "README", "README"},
        {"new extension on a dotless name", "Original FileName", "txt", "README", "README.txt"},
        {"empty extension text drops it", "Original FileName", "", "photo.jpg", "photo"},
        {"empty prefix drops the base", "", "###", "photo.jpg", ".jpg"},
        {"replacement text", "holiday", "png", "photo.jpg", "holiday.png"},
        {"hidden file", "Original FileName", "###", ".profile", ".profile"},
        {"sentinels are case-sensitive", "original filename", "###", "a.b", "original filename.b"},
    };
    for (const auto& c : cases) {
        NamingRule rule = InitialNamingRule(k5March2026);
        rule.FileNameText = c.fileNameText;
        rule.ExtensionText = c.extensionText;
        auto rows = Checked({c.file});
        ASSERT_TRUE(GenerateNewNames(rule, rows)) << c.label;
        EXPECT_EQ(rows[0].newFileName, c.expected) << c.label;
    }
}

TEST(GenerateNewNames, CounterCountsOnlyCheckedRowsAndLeavesOthersAlone) {
    NamingRule rule = NumberRule("(01)");
    auto rows = Rows({{"a.jpg", true}, {"b.jpg", true}, {"x.jpg", false}, {"c.jpg", true},
                      {"y.jpg", false}, {"d.jpg", true}, {"e.jpg", true}});
    rows[2].newFileName = "kept-x";
    ASSERT_TRUE(GenerateNewNames(rule, rows));
    EXPECT_EQ(NewNames(rows), (std::vector<std::string>{"(01).jpg", "(02).jpg", "kept-x",
                                                        "(03).jpg", "", "(04).jpg",
                                                        "(05).jpg"}));
    // A second run starts counting afresh.
    ASSERT_TRUE(GenerateNewNames(rule, rows));
    EXPECT_EQ(rows[6].newFileName, "(05).jpg");
}

TEST(GenerateNewNames, CounterWidthAndTemplates) {
    const struct {
        const char* numberTemplate;
        std::vector<std::string> expected;
    } cases[] = {
        {"99", {"99.t", "100.t", "101.t"}},
        {"004", {"004.t", "005.t", "006.t"}},
        {"3", {"3.t", "4.t", "5.t"}},
        {"-05", {"-05.t", "-06.t", "-07.t"}},
        {"1-2", {"1-2.t", "1-2.t", "1-2.t"}},  // the digits 12 do not stand together
        {"n77", {"n77.t", "n78.t", "n79.t"}},
    };
    for (const auto& c : cases) {
        auto rows = Checked({"a.t", "b.t", "c.t"});
        ASSERT_TRUE(GenerateNewNames(NumberRule(c.numberTemplate), rows)) << c.numberTemplate;
        EXPECT_EQ(NewNames(rows), c.expected) << c.numberTemplate;
    }
}

TEST(GenerateNewNames, FailuresStopAndKeepEarlierRows) {
    const struct {
        const char* label;
        NamingRule rule;
        std::size_t namedBeforeFailure;
    } cases[] = {
        {"template without digits", NumberRule("(x)"), 0},
        {"counter start above 32767", NumberRule("40000"), 0},
        {"counter passes 32767", NumberRule("32767"), 1},
        {"decrement with a negative step",
         DateRule(DateMode::kDecrement, -1, DateUnit::kDay, k5March2026, "DDMMYY", "None"), 0},
        {"offset outside 16 bits",
         DateRule(DateMode::kIncrement, 20000, DateUnit::kDay, k5March2026, "DDMMYY", "None"), 2},
        {"date after 9999",
         DateRule(DateMode::kIncrement, 8000, DateUnit::kYear, k5March2026, "DDMMYY", "None"), 1},
        {"date before year 100",
         DateRule(DateMode::kDecrement, 1000, DateUnit::kYear, k5March2026, "DDMMYY", "None"),
         2},
        {"unknown date format",
         DateRule(DateMode::kNone, 1, DateUnit::kDay, k5March2026, "DDD", "None"), 0},
    };
    for (const auto& c : cases) {
        auto rows = Checked({"a.t", "b.t", "c.t"});
        for (RenameRow& row : rows) {
            row.newFileName = "old";
        }
        std::string why;
        EXPECT_FALSE(GenerateNewNames(c.rule, rows, &why)) << c.label;
        EXPECT_FALSE(why.empty()) << c.label;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            EXPECT_EQ(rows[i].newFileName != "old", i < c.namedBeforeFailure)
                << c.label << " row " << i;
        }
    }
}

TEST(GenerateNewNames, ItemsOutsideTheSlotsCannotFail) {
    NamingRule rule = InitialNamingRule(k5March2026);
    rule.NumberTemplate = "no digits";
    rule.DateMode = DateMode::kDecrement;
    rule.DateStep = -3;
    auto rows = Checked({"a.t"});
    EXPECT_TRUE(GenerateNewNames(rule, rows));
    EXPECT_EQ(rows[0].newFileName, "a.t");
}

TEST(GenerateNewNames, RowDatesMoveByCalendarUnits) {
    using enum DateMode;
    using enum DateUnit;
    const year_month_day k31January2026{year{2026}, January, day{31}};
    const year_month_day k29February2024{year{2024}, February, day{29}};
    const struct {
        const char* label;
        NamingRule rule;
        std::vector<std::string> expected;
    } cases[] = {
        {"month end", DateRule(kIncrement, 1, kMonth, k31January2026, "DDMMYYYY", "-"),
         {"a31-01-2026.t", "a28-02-2026.t", "a31-03-2026.t", "a30-04-2026.t"}},
        {"decrement by two days", DateRule(kDecrement, 2, kDay, k5March2026, "DMYY", "None"),
         {"a5326.t", "a3326.t", "a1326.t", "a27226.t"}},
        {"leap day by years", DateRule(kIncrement, 1, kYear, k29February2024, "YYYYMMDD", "-"),
         {"a2024-02-29.t", "a2025-02-28.t", "a2026-02-28.t", "a2027-02-28.t"}},
        {"months backwards over a year end",
         DateRule(kDecrement, 5, kMonth, k31January2026, "MMDDYY", "None"),
         {"a013126.t", "a083125.t", "a033125.t", "a103124.t"}},
        {"none keeps the base date", DateRule(kNone, 7, kDay, k5March2026, "MDYYYY", "x"),
         {"a3-5-2026.t", "a3-5-2026.t", "a3-5-2026.t", "a3-5-2026.t"}},
        {"decrement by zero", DateRule(kDecrement, 0, kDay, k5March2026, "DDMMYY", "None"),
         {"a050326.t", "a050326.t", "a050326.t", "a050326.t"}},
    };
    for (const auto& c : cases) {
        auto rows = Checked({"a.t", "a.t", "a.t", "a.t"});
        ASSERT_TRUE(GenerateNewNames(c.rule, rows)) << c.label;
        EXPECT_EQ(NewNames(rows), c.expected) << c.label;
    }
}

TEST(GenerateNewNames, SeparatorsFollowEverySlotEvenEmptyOnes) {
    NamingRule rule = InitialNamingRule(k5March2026);
    rule.Separators[3] = "_";
    auto rows = Checked({"photo.jpg"});
    ASSERT_TRUE(GenerateNewNames(rule, rows));
    EXPECT_EQ(rows[0].newFileName, "photo.jpg_");
    EXPECT_EQ(BuildPreview(rule), "Original FileName.###_");

    // Ext dragged into the empty slot 4: all separators stand between name and extension.
    rule.Separators = {"a", "b", "c", "d"};
    EXPECT_FALSE(MoveItemToSlot(rule, kItemExt, 4));
    EXPECT_EQ(rule.Slots, (std::array<std::string, 5>{"FileName", "", "", "", "Ext"}));
    ASSERT_TRUE(GenerateNewNames(rule, rows));
    EXPECT_EQ(rows[0].newFileName, "photoabcd.jpg");
}

TEST(GenerateNewNames, ManyRowsPastA16BitCount) {
    NamingRule rule = InitialNamingRule(k5March2026);
    rule.FileNameText = "x";
    std::vector<RenameRow> rows(40000, RenameRow{true, "", "f.txt", "", {}, ""});
    EXPECT_TRUE(GenerateNewNames(rule, rows));
    EXPECT_EQ(rows.back().newFileName, "x.txt");
}

TEST(FormatRuleDate, EightFormatsWithAndWithoutDashes) {
    const struct {
        const char* format;
        const char* plain;
        const char* dashed;
    } cases[] = {
        {"DDMMYY", "050326", "05-03-26"},     {"DDMMYYYY", "05032026", "05-03-2026"},
        {"MMDDYY", "030526", "03-05-26"},     {"MMDDYYYY", "03052026", "03-05-2026"},
        {"DMYY", "5326", "5-3-26"},           {"DMYYYY", "532026", "5-3-2026"},
        {"MDYY", "3526", "3-5-26"},           {"MDYYYY", "352026", "3-5-2026"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatRuleDate(k5March2026, c.format, "None"), c.plain);
        EXPECT_EQ(FormatRuleDate(k5March2026, c.format, "-"), c.dashed);
        // Any separator text but "None" writes a dash.
        EXPECT_EQ(FormatRuleDate(k5March2026, c.format, "none"), c.dashed);
    }
    EXPECT_EQ(FormatRuleDate(year_month_day{year{105}, December, day{25}}, "DDMMYYYY", "None"),
              "25120105");
    EXPECT_FALSE(FormatRuleDate(year_month_day{year{99}, December, day{31}}, "DDMMYY", "None"));
    EXPECT_FALSE(FormatRuleDate(year_month_day{year{2026}, February, day{30}}, "DDMMYY", "-"));
    EXPECT_FALSE(FormatRuleDate(k5March2026, "DDMMYYY", "-"));
    EXPECT_FALSE(FormatRuleDate(k5March2026, "", "-"));
}

TEST(CounterText, DigitsAndPadding) {
    const std::pair<const char*, const char*> digits[] = {
        {"(01)", "01"}, {"-05", "05"}, {"a1b2", "12"}, {"abc", ""}, {"", ""}};
    for (const auto& [tmpl, expected] : digits) {
        EXPECT_EQ(TemplateDigits(tmpl), expected) << tmpl;
    }
    const struct {
        const char* digits;
        std::int64_t k;
        std::optional<std::string> text;
    } numbers[] = {
        {"01", 0, "01"},        {"01", 98, "99"},      {"01", 99, "100"},
        {"004", 1, "005"},      {"3", 7, "10"},        {"0000", 12, "0012"},
        {"32767", 0, "32767"},  {"32767", 1, {}},      {"32768", 0, {}},
        {"", 0, {}},            {"99999999999999999999", 0, {}},
        // Found by fuzzing: far out of range either way, no overflow on the way to "no".
        {"-99999999999999999999", 0, {}}, {"5", INT64_MAX, {}}, {"5", INT64_MIN, {}},
    };
    for (const auto& c : numbers) {
        EXPECT_EQ(FormatRuleNumber(c.digits, c.k), c.text) << c.digits << " + " << c.k;
    }
}

TEST(BuildPreview, FixedTextsInSlotOrder) {
    NamingRule rule = InitialNamingRule(k5March2026);
    EXPECT_EQ(BuildPreview(rule), "Original FileName.###");
    rule.ExtensionText = "";
    EXPECT_EQ(BuildPreview(rule), "Original FileName.");
    rule.ExtensionText = "###";

    AddItemToSlots(rule, kItemDate);
    AddItemToSlots(rule, kItemNumber);
    rule.NumberTemplate = "(01)";
    rule.DateMode = DateMode::kIncrement;
    rule.DateStep = 30;  // the preview shows the base date, with no offset
    EXPECT_EQ(BuildPreview(rule), "Original FileName05032026(01).###");

    // Ext swapped with FileName: the preview begins with the extension part.
    EXPECT_TRUE(MoveItemToSlot(rule, kItemExt, 0));
    EXPECT_EQ(BuildPreview(rule), ".###05032026(01)Original FileName");
}

TEST(Slots, AddingPutsNewItemsBeforeTheExtension) {
    NamingRule rule = InitialNamingRule(k5March2026);
    SlotAddition added = AddItemToSlots(rule, kItemDate);
    EXPECT_EQ(added.filledSlot, 2);
    EXPECT_TRUE(added.swappedWithExt);
    added = AddItemToSlots(rule, kItemNumber);
    EXPECT_EQ(added.filledSlot, 3);
    EXPECT_EQ(rule.Slots, (std::array<std::string, 5>{"FileName", "Date", "Number", "Ext", ""}));
    EXPECT_EQ(AddItemToSlots(rule, kItemNumber).filledSlot, -1);  // already placed

    RemoveItemFromSlots(rule, kItemDate);
    EXPECT_EQ(rule.Slots, (std::array<std::string, 5>{"FileName", "Number", "Ext", "", ""}));
    RemoveItemFromSlots(rule, kItemExt);  // the extension always keeps a slot
    EXPECT_EQ(SlotOf(rule, kItemExt), 2);

    // A gap before Ext is filled without a swap.
    rule = InitialNamingRule(k5March2026);
    MoveItemToSlot(rule, kItemExt, 2);
    EXPECT_EQ(rule.Slots, (std::array<std::string, 5>{"FileName", "", "Ext", "", ""}));
    added = AddItemToSlots(rule, kItemNumber);
    EXPECT_EQ(added.filledSlot, 1);
    EXPECT_FALSE(added.swappedWithExt);
    EXPECT_EQ(rule.Slots, (std::array<std::string, 5>{"FileName", "Number", "Ext", "", ""}));
}

TEST(Slots, MovingSwapsAndCompactsOrLeavesAGap) {
    NamingRule rule = InitialNamingRule(k5March2026);
    EXPECT_FALSE(MoveItemToSlot(rule, kItemFileName, 4));
    EXPECT_EQ(rule.Slots, (std::array<std::string, 5>{"", "Ext", "", "", "FileName"}));
    rule.Separators = {"0", "1", "2", "3"};
    EXPECT_EQ(BuildPreview(rule), "0.###123Original FileName");

    // Dropping on the item's own slot moves nothing but closes the gaps.
    EXPECT_TRUE(MoveItemToSlot(rule, kItemExt, 1));
    EXPECT_EQ(rule.Slots, (std::array<std::string, 5>{"Ext", "FileName", "", "", ""}));

    EXPECT_FALSE(MoveItemToSlot(rule, kItemDate, 3));  // not in any slot
    EXPECT_FALSE(MoveItemToSlot(rule, kItemExt, 5));
    EXPECT_EQ(rule.Slots, (std::array<std::string, 5>{"Ext", "FileName", "", "", ""}));
}

TEST(ReadDateStep, NumberReadingWithinSixteenBits) {
    const std::pair<const char*, std::optional<std::int16_t>> cases[] = {
        {"1", 1},          {" 2 5", 25},      {"2.5", 2},         {"3.5", 4},
        {"-7days", -7},    {"abc", 0},        {"", 0},            {"32767", 32767},
        {"-32768", -32768}, {"32768", {}},    {"-32769", {}},     {"1e9", 1},
        {"99999999999", {}},
    };
    for (const auto& [text, step] : cases) {
        EXPECT_EQ(ReadDateStep(text), step) << text;
    }
}

}  // namespace
}  // namespace brindle
