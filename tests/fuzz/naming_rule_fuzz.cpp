// The naming rule as the editor may leave it: any template, step text, date, format and slot
// moves, find patterns, letter cases and placeholders give names or a refusal, never a fault;
// the counter and the preview stay in step.
#include <stdlib.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include "rename/naming_rule.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    using namespace brindle;
    NamingRule rule = InitialNamingRule(std::chrono::year_month_day{
        std::chrono::year{input.ConsumeIntegralInRange(-40000, 40000)},
        std::chrono::month{input.ConsumeIntegralInRange(0u, 13u)},
        std::chrono::day{input.ConsumeIntegralInRange(0u, 32u)}});
    static constexpr std::string_view kItems[] = {kItemFileName, kItemExt, kItemDate, kItemNumber};
    for (int moves = input.ConsumeIntegralInRange(0, 6); moves > 0; --moves) {
        const std::string_view item = input.PickValueInArray(kItems);
        switch (input.ConsumeIntegralInRange(0, 3)) {
            case 0: AddItemToSlots(rule, item); break;
            case 1: RemoveItemFromSlots(rule, item); break;
            case 2: MoveItemToSlot(rule, item, input.ConsumeIntegralInRange(-1, 5)); break;
            default: CompactSlots(rule); break;
        }
    }
    for (std::string& separator : rule.Separators) {
        separator = input.ConsumeRandomLengthString(4);
    }
    rule.FileNameText = input.ConsumeBool() ? std::string(kKeepFileName) : input.ConsumeRandomLengthString(8);
    rule.ExtensionText = input.ConsumeBool() ? std::string(kKeepExtension) : input.ConsumeRandomLengthString(8);
    rule.DateFormat = input.ConsumeBool() ? std::string(input.PickValueInArray(kDateFormats))
                                          : input.ConsumeRandomLengthString(10);
    rule.DateSeparator = input.ConsumeBool() ? "None" : "-";
    rule.DateMode = static_cast<DateMode>(input.ConsumeIntegralInRange(0, 2));
    rule.DateUnit = static_cast<DateUnit>(input.ConsumeIntegralInRange(0, 2));
    if (const auto step = ReadDateStep(input.ConsumeRandomLengthString(12))) {
        rule.DateStep = *step;
    }
    rule.NumberTemplate = input.ConsumeRandomLengthString(12);
    rule.NumberDigits = TemplateDigits(rule.NumberTemplate);
    if (rule.NumberDigits.find_first_not_of("0123456789") != std::string::npos) {
        abort();
    }
    // A counter is never shorter than its digits and counts up by one.
    const auto k = input.ConsumeIntegralInRange<std::int64_t>(0, 70000);
    const auto number = FormatRuleNumber(rule.NumberDigits, k);
    if (number && (number->size() < rule.NumberDigits.size() ||
                   std::stoll(*number) != std::stoll(rule.NumberDigits) + k)) {
        abort();
    }
    (void)FormatRuleNumber(input.ConsumeRandomLengthString(24), k);

    rule.Replace = {input.ConsumeRandomLengthString(8), input.ConsumeRandomLengthString(8),
                    input.ConsumeBool(), input.ConsumeBool()};
    rule.NameCase = static_cast<LetterCase>(input.ConsumeIntegralInRange(0, 4));
    rule.ExtensionCase = static_cast<LetterCase>(input.ConsumeIntegralInRange(0, 2));

    std::vector<RenameRow> rows(input.ConsumeIntegralInRange(0, 8));
    for (RenameRow& row : rows) {
        row.checked = input.ConsumeBool();
        row.fileName = input.ConsumeRandomLengthString(16);
        row.newFileName = "unchanged";
    }
    (void)GenerateNewNames(rule, rows);
    (void)BuildPreview(rule);
    (void)RowDate(rule, k);
    return 0;
}
