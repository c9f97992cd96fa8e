#pragma once

namespace brindle::app {

class frmSplit;
class frmSplit2;
class frmSplit3;

// The saved page texts: what the wizard pages remember across transitions. Controls a page
// does not have are skipped.
void SaveSplitPage1(const frmSplit& page);
void RestoreSplitPage1(frmSplit& page);
void SaveSplitPage2(const frmSplit2& page);
// Also records the page's destination and group name in its window's split state.
void RestoreSplitPage2(frmSplit2& page);

// The wizard's moves, each step in its fixed order; every one closes the page it starts from.
void GoToSplitPage2(frmSplit& from);   // Next on page 1, after its checks passed
void GoToSplitPage3(frmSplit2& from);  // Next on page 2, after its checks passed
void BackToSplitPage1(frmSplit2& from);
void BackToSplitPage2(frmSplit3& from);

}  // namespace brindle::app
