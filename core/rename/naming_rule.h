#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "rename/file_dates.h"
#include "rename/letter_case.h"
#include "rename/pattern.h"
#include "rename/placeholders.h"
#include "rename/rename_row.h"

namespace brindle {

inline constexpr std::string_view kItemFileName = "FileName";
inline constexpr std::string_view kItemExt = "Ext";
inline constexpr std::string_view kItemDate = "Date";
inline constexpr std::string_view kItemNumber = "Number";

inline constexpr std::string_view kKeepFileName = "Original FileName";
inline constexpr std::string_view kKeepExtension = "###";
inline constexpr std::string_view kNoDateSeparator = "None";
inline constexpr std::string_view kDefaultNumberTemplate = "(01)";

// The eight date formats, in the order the editor lists them.
inline constexpr std::array<std::string_view, 8> kDateFormats = {
    "DDMMYY", "DDMMYYYY", "MMDDYY", "MMDDYYYY", "DMYY", "DMYYYY", "MDYY", "MDYYYY"};

// Values are the positions in the editor's lists.
enum class DateMode { kIncrement = 0, kDecrement = 1, kNone = 2 };
enum class DateUnit { kDay = 0, kMonth = 1, kYear = 2 };

inline constexpr int kSlotCount = 5;
inline constexpr int kSeparatorCount = 4;

// The rename rule. Field names follow the editor's wording so the two read alike.
struct NamingRule {
    std::array<std::string, kSlotCount> Slots = {"FileName", "Ext", "", "", ""};
    std::array<std::string, kSeparatorCount> Separators;
    std::string FileNameText{kKeepFileName};
    std::string ExtensionText{kKeepExtension};
    // Today's date at start-up; the owner sets it, since the core reads no clock.
    std::chrono::year_month_day BaseDate{};
    std::string DateFormat = "DDMMYYYY";
    std::string DateSeparator{kNoDateSeparator};
    brindle::DateMode DateMode = brindle::DateMode::kNone;
    std::int16_t DateStep = 1;
    brindle::DateUnit DateUnit = brindle::DateUnit::kDay;
    // Each file's own date instead of BaseDate and the step, where not kChosen.
    DateSource DateFrom = DateSource::kChosen;
    std::string NumberTemplate;
    std::string NumberDigits;
    // Replaces in the base name the name slot writes; nothing to find changes nothing.
    brindle::FindReplace Replace;
    // Applied last: the extension slot's text takes ExtensionCase, the rest NameCase.
    LetterCase NameCase = LetterCase::kKeep;
    LetterCase ExtensionCase = LetterCase::kKeep;
};

NamingRule InitialNamingRule(std::chrono::year_month_day today);

// The one rule of the desktop program, alive until the process ends; the rule editor keeps
// it in step with its controls.
NamingRule& SharedNamingRule();

// A file name cut at its last ".": archive.tar.gz is archive.tar and gz.
struct NameParts {
    std::string base;
    std::string extension;
};
NameParts SplitFileName(std::string_view fileName);

// The digit characters of a counter template, in order: "(01)" gives "01".
std::string TemplateDigits(std::string_view numberTemplate);

// The counter text for the k-th checked row (k from 0); nothing when the digits are not a
// number or the count passes 32767.
std::optional<std::string> FormatRuleNumber(std::string_view digits, std::int64_t k);

// `date` in one of the format names; nothing for an invalid date or an unknown format.
std::optional<std::string> FormatRuleDate(std::chrono::year_month_day date,
                                          std::string_view formatName,
                                          std::string_view separator);

// The date of the k-th checked row; nothing when the offset or the date leaves its range.
std::optional<std::chrono::year_month_day> RowDate(const NamingRule& rule, std::int64_t k);

// A file's own date, for a rule whose date comes from each file; nothing when it has none.
using FileDateLookup = std::function<std::optional<std::chrono::year_month_day>(const RenameRow& row)>;

// True when the rule writes a date taken from each file, which means reading the files.
bool UsesFileDates(const NamingRule& rule);

// Why the rule cannot make names before it touches any row (a bad pattern); empty if none.
std::string RuleProblem(const NamingRule& rule);

// What the rule's name text needs read from each file, which means reading the files.
FactsNeeded RuleNeeds(const NamingRule& rule);

// Each file's tags, for a rule whose name text has placeholders.
using FileFactsLookup = std::function<FileFacts(const RenameRow& row)>;

// Applies the rule to the checked rows in order. On the first failure it stops and returns
// false: earlier rows keep their new names, the failing row and later ones are untouched.
// `why`, when given, receives a short account of the failure. Files' own dates come from
// `fileDate`, or are read from each row's file when it is empty.
// Placeholders likewise come from `facts`, or from each row's file.
bool GenerateNewNames(const NamingRule& rule, std::span<RenameRow> rows,
                      std::string* why = nullptr, const FileDateLookup& fileDate = {},
                      const FileFactsLookup& facts = {});

std::string BuildPreview(const NamingRule& rule);

// The new name the rule gives `row` as the first checked row, for the previews; nothing,
// with `why` filled, where generation would fail.
std::optional<std::string> PreviewName(const NamingRule& rule, const RenameRow& row,
                                       std::string* why = nullptr,
                                       const FileFactsLookup& facts = {});

// What AddItemToSlots did, so the editor can move the right labels.
struct SlotAddition {
    int filledSlot = -1;       // where the item first went; -1 when nothing changed
    bool swappedWithExt = false;  // then the item ended where Ext was, Ext at filledSlot
};

SlotAddition AddItemToSlots(NamingRule& rule, std::string_view item);
void RemoveItemFromSlots(NamingRule& rule, std::string_view item);
// Returns true when the slots were compacted (every label needs placing again).
bool MoveItemToSlot(NamingRule& rule, std::string_view item, int targetSlot);
void CompactSlots(NamingRule& rule);
// The slot holding `item`, or -1.
int SlotOf(const NamingRule& rule, std::string_view item);

// The step box read as a number, halves to even; nothing when it lies outside 16 bits.
std::optional<std::int16_t> ReadDateStep(std::string_view text);

}  // namespace brindle
