#include "shell/wizard_state.h"

namespace brindle {

void WizardState::SetStartValues() {
    SavedSourceText.clear();
    SavedSplitMode = 0;
    SavedPieceCount = "2";
    SavedPieceSize = "1";
    SavedSizeUnit = 0;
    SavedDestText.clear();
    SavedGroupText.clear();
    SavedRecovery = false;
    SavedRecoveryPercent = 0;
}

}  // namespace brindle
