// The readers of .sfv, .md5, .sha1 and .sha256 files that come with downloaded pieces, and of
// numbered piece names: whatever a list holds they never fail, and every entry they take
// has a name and a lowercase digest of its kind's length.
#include <stdlib.h>

#include <cstdint>
#include <string>

#include <fuzzer/FuzzedDataProvider.h>

#include "checks/checksum_lists.h"
#include "format/numbered_group.h"

namespace {

void CheckEntries(const std::vector<brindle::ListedName>& listed, std::size_t hexLength) {
    for (const brindle::ListedName& entry : listed) {
        if (entry.name.empty() || entry.hex.size() != hexLength ||
            entry.hex.find_first_not_of("0123456789abcdef") != std::string::npos) {
            abort();
        }
        const auto parsed = brindle::ParseNumberedName(entry.name);
        if (parsed && brindle::NumberedPieceName(parsed->base, parsed->number, parsed->digits) != entry.name) {
            abort();  // a numbered name reads back to itself
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const auto kind = static_cast<brindle::DigestKind>(input.ConsumeIntegralInRange(0, 3));
    const std::string text = input.ConsumeRemainingBytesAsString();
    int bad = 0;
    if (kind == brindle::DigestKind::kCrc32) {
        CheckEntries(brindle::ParseSfv(text, &bad), 8);
    } else {
        CheckEntries(brindle::ParseHashList(text, kind, &bad), brindle::DigestHexLength(kind));
    }
    if (bad < 0) {
        abort();
    }
    return 0;
}
