// Numbers typed by the user: any text reads without fault, rounds without overflow, and
// the split planning that reads them either accepts a choice it can carry out or says why not.
#include <stdlib.h>

#include <cmath>
#include <cstdint>
#include <string>

#include <fuzzer/FuzzedDataProvider.h>

#include "shell/numbers.h"
#include "shell/paths.h"
#include "split/split_planning.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const char separator = input.ConsumeBool() ? '.' : ',';
    const auto sourceLength = input.ConsumeIntegralInRange<std::int64_t>(-1, 3'000'000'000);
    const int choice = input.ConsumeIntegralInRange(-1, 3);
    const std::string unit = input.PickValueInArray({"", "KB", "MB", "GB", "TB"});
    const std::string number = input.ConsumeRandomLengthString(64);
    const std::string sizeText = input.ConsumeRemainingBytesAsString();

    const brindle::NumberReading reading = brindle::ReadNumber(sizeText, separator);
    if (std::isnan(reading.value) || (!reading.numeric && reading.value != 0.0 &&
                                      sizeText.find_first_of("0123456789") == std::string::npos)) {
        abort();
    }
    (void)brindle::FormatSize(brindle::RoundHalfEven(reading.value), separator);

    brindle::SplitState state;
    const auto rejection = brindle::CheckSplitChoice(sourceLength, choice, number, sizeText,
                                                     unit, state, separator);
    if (!rejection && choice >= 0 && choice <= 2 && sourceLength >= 0) {
        brindle::ComputePieceDataSize(sourceLength, state);
        (void)brindle::BuildSplitSummary(state, sourceLength, separator);
    }
    return 0;
}
