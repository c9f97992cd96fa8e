// Piece and group names: whatever a folder holds, the name helpers never fail, and every
// name the program gives a piece reads back to its group and to the "qmf" letters.
#include <stdlib.h>

#include <cstdint>
#include <string>

#include <fuzzer/FuzzedDataProvider.h>

#include "format/discovery.h"
#include "format/piece_format.h"
#include "shell/paths.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const int index = input.ConsumeIntegralInRange(-2, 1001);
    const std::string name = input.ConsumeRemainingBytesAsString();

    (void)brindle::GroupNameFromPiece(name);
    (void)brindle::GetFolderName(name);
    (void)brindle::StripExtension(name);
    (void)brindle::JoinPath(name, name);
    if (brindle::RemoveDigits(name).find_first_of("0123456789") != std::string::npos) {
        abort();
    }
    const std::string letters = brindle::GetExtensionLetters(name);
    if (letters.find_first_of("0123456789") != std::string::npos) {
        abort();
    }

    const auto pieceName = brindle::PieceFileName(name, index);
    if (pieceName.has_value() != (index >= 1 && index <= brindle::kMaxPieces)) {
        abort();
    }
    if (!pieceName) {
        return 0;
    }
    if (brindle::GetExtensionLetters(*pieceName) != brindle::kPieceExtension) {
        abort();
    }
    if (brindle::GroupNameFromPiece(*pieceName) != brindle::GetFileName(name)) {
        abort();
    }
    const auto padded = brindle::ZeroPad3(index);
    if (!padded || padded->size() != 3 || std::stoi(*padded) != index) {
        abort();
    }
    return 0;
}
