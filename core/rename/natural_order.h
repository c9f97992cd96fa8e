#pragma once

#include <span>
#include <string>
#include <vector>

#include "rename/rename_row.h"

namespace brindle {

// The orders of the rename list: as given, by name (natural: digit runs by their value,
// letter case aside, by the user's collation), size, modification time, or date taken.
enum class RowOrder { kAsGiven, kNatural, kSize, kModified, kTaken, kLocation };

// Whether `a` comes before `b` in natural order ("IMG_2" before "IMG_10"). Names equal but
// for case or bytes the collation ignores are told apart by their bytes, so the order is total.
class NaturalOrder {
public:
    NaturalOrder();
    ~NaturalOrder();
    NaturalOrder(const NaturalOrder&) = delete;
    NaturalOrder& operator=(const NaturalOrder&) = delete;
    bool operator()(const std::string& a, const std::string& b) const;

private:
    void* collator_ = nullptr;  // ICU's, for the user's locale
};

// Puts `rows` in `order` (reversed on request), keeping rows that tie in the order they had.
// kModified and kTaken read each file's time; a file without one goes last. Returns where
// each row came from: element i is the old place of the row now at i.
std::vector<std::size_t> SortRows(std::vector<RenameRow>& rows, RowOrder order, bool reverse);

}  // namespace brindle
