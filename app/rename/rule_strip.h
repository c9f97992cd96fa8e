#pragma once

#include <array>

namespace brindle::app {

// The rule editor's item strip, in twips (1/1440 inch). The windows scale these to pixels
// in one place; every position below is in twips.
inline constexpr int kStripWidth = 6375;
inline constexpr std::array<int, 4> kStripDividers = {1200, 2400, 3840, 5160};

struct SlotSpan {
    int left = 0;
    int right = 0;
};

// Slot 0 runs from the strip's left edge to the first divider, slot 4 from the last divider
// to the right edge.
SlotSpan SlotSpanOf(int slot);

// The slot a drop at x lands in: left of the first divider is 0, at or right of the last
// is 4 (a drop beyond either edge counts for the outer slot).
int SlotAtPosition(int x);

// A drop's x rounded to a whole twip (halves to even). A drop on an item label passes the
// label's left edge plus the point within the label, which is the same place on the strip.
int DropPosition(double x);

// The left edge that centres a label of this width in the slot.
int CentredLabelLeft(int slot, int labelWidth);

}  // namespace brindle::app
