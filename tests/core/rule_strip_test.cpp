#include <gtest/gtest.h>

#include "rename/rule_strip.h"

namespace brindle {
namespace {

TEST(RuleStrip, DropPositionsFindTheirSlot) {
    struct Case {
        double x;
        int slot;
    };
    // Each divider belongs to the slot on its right; drops past the edges land in the outer
    // slots; a drop half a twip short of a divider rounds to even.
    const Case cases[] = {{-40, 0},   {0, 0},       {1199, 0},   {1199.5, 1}, {1198.5, 0},
                          {1200, 1},  {2399, 1},    {2400, 2},   {3839, 2},   {3840, 3},
                          {5159, 3},  {5160, 4},    {6374, 4},   {9000, 4}};
    for (const Case& c : cases) {
        EXPECT_EQ(SlotAtPosition(DropPosition(c.x)), c.slot) << c.x;
    }
}

TEST(RuleStrip, LabelsCentreInUnequalSlots) {
    EXPECT_EQ(CentredLabelLeft(0, 1000), 100);
    EXPECT_EQ(CentredLabelLeft(2, 1000), 2620);  // 2400 + (1440 - 1000) / 2
    EXPECT_EQ(CentredLabelLeft(4, 1000), 5267);  // the last slot ends at 6375, not a divider
    EXPECT_EQ(CentredLabelLeft(4, 1215), 5160);  // a label as wide as its slot fills it
}

}  // namespace
}  // namespace brindle
