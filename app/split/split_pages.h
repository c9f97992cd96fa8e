#pragma once

namespace brindle::app {

class frmSplit;

// Puts the saved page-1 choices back into the split wizard's first page. Controls the page
// does not have are skipped.
void RestoreSplitPage1(frmSplit& page);

}  // namespace brindle::app
