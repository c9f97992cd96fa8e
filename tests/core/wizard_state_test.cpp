#include <gtest/gtest.h>

#include "shell/wizard_state.h"

namespace brindle {
namespace {

TEST(WizardState, StartValuesAreTheDesignedDefaultsAndKeepTheJoinTexts) {
    WizardState state;
    EXPECT_EQ(state.SavedPieceCount, "");
    state.SavedSourceText = "/a";
    state.SavedSplitMode = 2;
    state.SavedSizeUnit = 1;
    state.SavedDestText = "/b";
    state.SavedGroupText = "g";
    state.SavedJoinPathText = "/j";
    state.SetStartValues();
    EXPECT_EQ(state.SavedSourceText, "");
    EXPECT_EQ(state.SavedSplitMode, 0);
    EXPECT_EQ(state.SavedPieceCount, "2");
    EXPECT_EQ(state.SavedPieceSize, "1");
    EXPECT_EQ(state.SavedSizeUnit, 0);
    EXPECT_EQ(state.SavedDestText, "");
    EXPECT_EQ(state.SavedGroupText, "");
    EXPECT_EQ(state.SavedJoinPathText, "/j");
}

}  // namespace
}  // namespace brindle
