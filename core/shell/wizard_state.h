#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace brindle {

// What the wizard pages remember across transitions; each page is rebuilt when shown again.
// Before SetStartValues every text is empty and every number 0.
struct WizardState {
    std::string SavedSourceText;
    std::int16_t SavedSplitMode = 0;  // 0 pieces, 1 equal sizes, 2 floppy
    std::string SavedPieceCount;
    std::string SavedPieceSize;
    std::int16_t SavedSizeUnit = 0;  // 0 KB, 1 MB, 2 GB
    std::string SavedDestText;
    std::string SavedGroupText;
    bool SavedRecovery = false;            // "Add recovery data" on the last page
    std::int16_t SavedRecoveryPercent = 0;  // its share; 0 until the page is first left
    // The join page's group list, one text per item: a group name may itself hold "|".
    std::vector<std::string> SavedGroupList;
    std::string SavedJoinPathText;
    std::string SavedTargetText;

    // The controls' designed defaults, set when the program starts without arguments.
    // The join texts are left alone.
    void SetStartValues();
};

}  // namespace brindle
