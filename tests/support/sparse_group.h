#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "format/piece_format.h"

namespace brindle::test {

// Two pieces big(1).qmf and big(2).qmf of `data` bytes each in `folder`: sound headers over
// holes on disk, real (zero) bytes once joined. False where a piece could not be written.
inline bool WriteSparseGroup(const std::string& folder, std::int32_t data) {
    for (int k = 1; k <= 2; ++k) {
        PieceHeader header;
        header.GroupId = 4242;
        header.PieceIndex = k;
        header.PieceSize = data;
        header.PieceCount = 2;
        SetSourceLength(header, std::int64_t{2} * data);
        SetSourceName(header, "big.bin");
        const std::filesystem::path path = std::filesystem::path(folder) / *PieceFileName("big", k);
        const HeaderBytes bytes = EncodeHeader(header);
        std::ofstream piece(path, std::ios::binary);
        piece.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        piece.close();
        std::error_code error;
        std::filesystem::resize_file(path, kHeaderSize + static_cast<std::uintmax_t>(data), error);
        if (!piece || error) {
            return false;
        }
    }
    return true;
}

}  // namespace brindle::test
