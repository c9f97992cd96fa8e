#include "rename/naming_rule.h"

#include <algorithm>
#include <limits>

#include "shell/numbers.h"
#include "shell/translate.h"

namespace brindle {
namespace {

using std::chrono::year_month_day;

constexpr std::int64_t kInt16Min = std::numeric_limits<std::int16_t>::min();
constexpr std::int64_t kInt16Max = std::numeric_limits<std::int16_t>::max();
constexpr int kFirstYear = 100;
constexpr int kLastYear = 9999;

bool InDateRange(const year_month_day& date) {
    const int y = static_cast<int>(date.year());
    return date.ok() && y >= kFirstYear && y <= kLastYear;
}

void AppendPadded(std::string& out, unsigned value, std::size_t width) {
    const std::string digits = std::to_string(value);
    if (digits.size() < width) {
        out.append(width - digits.size(), '0');
    }
    out += digits;
}

// Months and years land on the month's last day when the day does not exist there.
std::optional<year_month_day> AddMonths(const year_month_day& date, std::int64_t months) {
    const std::int64_t total = static_cast<std::int64_t>(static_cast<int>(date.year())) * 12 +
                               (static_cast<unsigned>(date.month()) - 1) + months;
    const std::int64_t year = total >= 0 ? total / 12 : (total - 11) / 12;
    if (year < kFirstYear || year > kLastYear) {
        return std::nullopt;
    }
    const std::chrono::year y{static_cast<int>(year)};
    const std::chrono::month m{static_cast<unsigned>(total - year * 12 + 1)};
    const year_month_day exact{y, m, date.day()};
    if (exact.ok()) {
        return exact;
    }
    return year_month_day{std::chrono::year_month_day_last{y, std::chrono::month_day_last{m}}};
}

// Every non-overlapping occurrence of `what`, left to right; an empty `what` finds nothing.
std::string ReplaceAll(std::string_view text, std::string_view what, std::string_view with) {
    if (what.empty()) {
        return std::string(text);
    }
    std::string out;
    std::size_t from = 0;
    for (std::size_t at = text.find(what); at != std::string_view::npos;
         at = text.find(what, from)) {
        out.append(text.substr(from, at - from));
        out.append(with);
        from = at + what.size();
    }
    out.append(text.substr(from));
    return out;
}

void Fail(std::string* why, std::string text) {
    if (why != nullptr) {
        *why = std::move(text);
    }
}

}  // namespace

NamingRule InitialNamingRule(std::chrono::year_month_day today) {
    NamingRule rule;
    rule.BaseDate = today;
    return rule;
}

NamingRule& SharedNamingRule() {
    static NamingRule rule;
    return rule;
}

NameParts SplitFileName(std::string_view fileName) {
    const auto dot = fileName.rfind('.');
    if (dot == std::string_view::npos) {
        return {std::string(fileName), ""};
    }
    return {std::string(fileName.substr(0, dot)), std::string(fileName.substr(dot + 1))};
}

std::string TemplateDigits(std::string_view numberTemplate) {
    std::string digits;
    std::copy_if(numberTemplate.begin(), numberTemplate.end(), std::back_inserter(digits),
                 [](char c) { return c >= '0' && c <= '9'; });
    return digits;
}

std::optional<std::string> FormatRuleNumber(std::string_view digits, std::int64_t k) {
    const NumberReading start = ReadNumber(digits);
    if (!start.numeric || start.value > static_cast<double>(kInt16Max) ||
        start.value < static_cast<double>(kInt16Min)) {
        return std::nullopt;
    }
    // Checked before adding, so no count, however large, can overflow.
    const auto first = static_cast<std::int64_t>(start.value);
    if (k > kInt16Max - first || k < kInt16Min - first) {
        return std::nullopt;
    }
    const std::int64_t sum = first + k;
    std::string text = std::to_string(sum);
    if (digits.size() > text.size()) {
        text.insert(0, digits.size() - text.size(), '0');
    }
    return text;
}

std::optional<std::string> FormatRuleDate(year_month_day date, std::string_view formatName,
                                          std::string_view separator) {
    if (!InDateRange(date) || formatName.empty()) {
        return std::nullopt;
    }
    const bool dashed = separator != kNoDateSeparator;
    const auto day = static_cast<unsigned>(date.day());
    const auto month = static_cast<unsigned>(date.month());
    const auto year = static_cast<unsigned>(static_cast<int>(date.year()));
    std::string out;
    for (std::size_t i = 0; i < formatName.size();) {
        const char letter = formatName[i];
        std::size_t run = 1;
        while (i + run < formatName.size() && formatName[i + run] == letter) {
            ++run;
        }
        if (dashed && i > 0) {
            out += '-';
        }
        if ((letter == 'D' || letter == 'M') && run <= 2) {
            AppendPadded(out, letter == 'D' ? day : month, run);
        } else if (letter == 'Y' && run == 2) {
            AppendPadded(out, year % 100, 2);
        } else if (letter == 'Y' && run == 4) {
            AppendPadded(out, year, 4);
        } else {
            return std::nullopt;
        }
        i += run;
    }
    return out;
}

std::optional<year_month_day> RowDate(const NamingRule& rule, std::int64_t k) {
    std::int64_t step = 0;
    switch (rule.DateMode) {
        case DateMode::kNone:
            break;
        case DateMode::kIncrement:
            step = rule.DateStep;
            break;
        case DateMode::kDecrement:
            // The step is negated as text: a second minus sign is no number.
            if (rule.DateStep < 0) {
                return std::nullopt;
            }
            step = -static_cast<std::int64_t>(rule.DateStep);
            break;
    }
    const std::int64_t offset = step * k;
    if (offset < kInt16Min || offset > kInt16Max || !InDateRange(rule.BaseDate)) {
        return std::nullopt;
    }
    std::optional<year_month_day> date;
    switch (rule.DateUnit) {
        case DateUnit::kDay:
            date = year_month_day{std::chrono::sys_days{rule.BaseDate} +
                                  std::chrono::days{offset}};
            break;
        case DateUnit::kMonth:
            date = AddMonths(rule.BaseDate, offset);
            break;
        case DateUnit::kYear:
            date = AddMonths(rule.BaseDate, offset * 12);
            break;
    }
    if (!date || !InDateRange(*date)) {
        return std::nullopt;
    }
    return date;
}

bool UsesFileDates(const NamingRule& rule) {
    return rule.DateFrom != DateSource::kChosen && SlotOf(rule, kItemDate) >= 0;
}

std::string RuleProblem(const NamingRule& rule) {
    return Replacer(rule.Replace).problem();
}

FactsNeeded RuleNeeds(const NamingRule& rule) {
    if (rule.FileNameText == kKeepFileName || SlotOf(rule, kItemFileName) < 0) {
        return {};
    }
    return PlaceholderNeeds(rule.FileNameText);
}

namespace {

// What generation reads once for all rows.
struct Prepared {
    const NamingRule& rule;
    Replacer replacer;
    bool ownDates;
    FactsNeeded needs;
    std::string searchDigits;
    const FileDateLookup& fileDate;
    const FileFactsLookup& facts;
};

// The k-th checked row's new name; nothing, with `why` filled, on a failure.
std::optional<std::string> NameFor(const Prepared& p, const RenameRow& row, std::int64_t k,
                                   std::string* why) {
    const NamingRule& rule = p.rule;
    const NameParts parts = SplitFileName(row.fileName);
    std::string result;
    // Where the extension's own text stands in `result`, for its letter case.
    std::size_t extFrom = std::string::npos;
    std::size_t extTo = std::string::npos;
    for (int s = 0; s < kSlotCount; ++s) {
        const std::string& item = rule.Slots[static_cast<std::size_t>(s)];
        if (item == kItemFileName) {
            std::string base = parts.base;
            if (rule.FileNameText != kKeepFileName) {
                const FileFacts facts = !p.needs.any() ? FileFacts{}
                                        : p.facts     ? p.facts(row)
                                                      : ReadFileFacts(row.key, p.needs);
                base = FillPlaceholders(rule.FileNameText, row, facts);
            }
            std::string reason;
            auto replaced = p.replacer.Apply(base, &reason);
            if (!replaced) {
                Fail(why, Fill(Tr("%1: %2"), {row.fileName, reason}));
                return std::nullopt;
            }
            result += *replaced;
        } else if (item == kItemDate) {
            const auto date = !p.ownDates ? RowDate(rule, k)
                              : p.fileDate ? p.fileDate(row)
                                           : FileDate(rule.DateFrom, row.key);
            const auto text =
                date ? FormatRuleDate(*date, rule.DateFormat, rule.DateSeparator) : std::nullopt;
            if (!text) {
                Fail(why, Fill(Tr("no date for %1"), {row.fileName}));
                return std::nullopt;
            }
            result += *text;
        } else if (item == kItemNumber) {
            const auto number = FormatRuleNumber(rule.NumberDigits, k);
            if (!number) {
                Fail(why, Fill(Tr("no counter for %1"), {row.fileName}));
                return std::nullopt;
            }
            result += ReplaceAll(rule.NumberTemplate, p.searchDigits, *number);
        } else if (item == kItemExt) {
            const std::string& ext =
                rule.ExtensionText == kKeepExtension ? parts.extension : rule.ExtensionText;
            if (!ext.empty()) {
                result += '.';
                extFrom = result.size();
                result += ext;
                extTo = result.size();
            }
        }
        if (s < kSeparatorCount) {
            result += rule.Separators[static_cast<std::size_t>(s)];
        }
    }
    if (rule.NameCase == LetterCase::kKeep && rule.ExtensionCase == LetterCase::kKeep) {
        return result;
    }
    if (extFrom == std::string::npos) {
        return ChangeCase(result, rule.NameCase);
    }
    return ChangeCase(std::string_view(result).substr(0, extFrom), rule.NameCase) +
           ChangeCase(std::string_view(result).substr(extFrom, extTo - extFrom), rule.ExtensionCase) +
           ChangeCase(std::string_view(result).substr(extTo), rule.NameCase);
}

}  // namespace

bool GenerateNewNames(const NamingRule& rule, std::span<RenameRow> rows, std::string* why,
                      const FileDateLookup& fileDate, const FileFactsLookup& facts) {
    const Prepared prepared{rule,          Replacer(rule.Replace), UsesFileDates(rule),
                            RuleNeeds(rule), TemplateDigits(rule.NumberTemplate), fileDate, facts};
    if (!prepared.replacer.problem().empty()) {
        Fail(why, prepared.replacer.problem());
        return false;
    }
    // Counts past 32767 rows are fine; only the counter and the date offset are 16-bit.
    std::int64_t k = 0;
    for (RenameRow& row : rows) {
        if (!row.checked) {
            continue;
        }
        auto name = NameFor(prepared, row, k, why);
        if (!name) {
            return false;
        }
        row.newFileName = std::move(*name);
        ++k;
    }
    return true;
}

std::optional<std::string> PreviewName(const NamingRule& rule, const RenameRow& row,
                                       std::string* why, const FileFactsLookup& facts) {
    const FileDateLookup fromFiles;
    const Prepared prepared{rule,          Replacer(rule.Replace), UsesFileDates(rule),
                            RuleNeeds(rule), TemplateDigits(rule.NumberTemplate), fromFiles, facts};
    if (!prepared.replacer.problem().empty()) {
        Fail(why, prepared.replacer.problem());
        return std::nullopt;
    }
    return NameFor(prepared, row, 0, why);
}

std::string BuildPreview(const NamingRule& rule) {
    std::string preview;
    for (int s = 0; s < kSlotCount; ++s) {
        const std::string& item = rule.Slots[static_cast<std::size_t>(s)];
        if (item == kItemFileName) {
            preview += rule.FileNameText;
        } else if (item == kItemDate) {
            preview += FormatRuleDate(rule.BaseDate, rule.DateFormat, rule.DateSeparator)
                           .value_or("");
        } else if (item == kItemNumber) {
            preview += rule.NumberTemplate;
        } else if (item == kItemExt) {
            preview += '.';
            preview += rule.ExtensionText;
        }
        if (s < kSeparatorCount) {
            preview += rule.Separators[static_cast<std::size_t>(s)];
        }
    }
    return preview;
}

int SlotOf(const NamingRule& rule, std::string_view item) {
    if (item.empty()) {
        return -1;
    }
    const auto it = std::find(rule.Slots.begin(), rule.Slots.end(), item);
    return it == rule.Slots.end() ? -1 : static_cast<int>(it - rule.Slots.begin());
}

SlotAddition AddItemToSlots(NamingRule& rule, std::string_view item) {
    if (item.empty() || SlotOf(rule, item) >= 0) {
        return {};
    }
    const auto empty = std::find(rule.Slots.begin(), rule.Slots.end(), std::string());
    if (empty == rule.Slots.end()) {
        return {};
    }
    *empty = std::string(item);
    SlotAddition addition;
    addition.filledSlot = static_cast<int>(empty - rule.Slots.begin());
    const int ext = SlotOf(rule, kItemExt);
    if (ext >= 0 && ext < addition.filledSlot) {
        std::swap(rule.Slots[static_cast<std::size_t>(ext)], *empty);
        addition.swappedWithExt = true;
    }
    return addition;
}

void RemoveItemFromSlots(NamingRule& rule, std::string_view item) {
    // The name and the extension always keep a slot.
    if (item != kItemFileName && item != kItemExt) {
        const int slot = SlotOf(rule, item);
        if (slot >= 0) {
            rule.Slots[static_cast<std::size_t>(slot)].clear();
        }
    }
    CompactSlots(rule);
}

void CompactSlots(NamingRule& rule) {
    std::stable_partition(rule.Slots.begin(), rule.Slots.end(),
                          [](const std::string& slot) { return !slot.empty(); });
}

bool MoveItemToSlot(NamingRule& rule, std::string_view item, int targetSlot) {
    const int from = SlotOf(rule, item);
    if (from < 0 || targetSlot < 0 || targetSlot >= kSlotCount) {
        return false;
    }
    std::string& target = rule.Slots[static_cast<std::size_t>(targetSlot)];
    if (!target.empty()) {
        std::swap(rule.Slots[static_cast<std::size_t>(from)], target);
        CompactSlots(rule);
        return true;
    }
    rule.Slots[static_cast<std::size_t>(from)].clear();
    target = std::string(item);
    return false;
}

std::optional<std::int16_t> ReadDateStep(std::string_view text) {
    const std::int64_t step = RoundHalfEven(NumberValue(text));
    if (step < kInt16Min || step > kInt16Max) {
        return std::nullopt;
    }
    return static_cast<std::int16_t>(step);
}

}  // namespace brindle
