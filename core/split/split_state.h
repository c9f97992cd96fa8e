#pragma once

#include <cstdint>
#include <string>

namespace brindle {

// The choices of one split, carried from page to page of the split windows.
struct SplitState {
    std::string SplitSourcePath;
    std::string SplitDestFolder;
    std::string SplitGroupName;
    bool SplitBySize = false;
    std::int32_t SplitPieceCount = 0;
    // Piece file size (header included) after planning in size mode; data bytes per piece
    // after ComputePieceDataSize, in both modes.
    std::int32_t SplitPieceSize = 0;
};

}  // namespace brindle
