#pragma once

namespace brindle::app {

class frmJoin;
class frmJoin2;

// What the join wizard's pages keep across a move between them.
void SaveJoinPage1(frmJoin& page);
void RestoreJoinPage1(frmJoin& page);
void SaveJoinPage2(frmJoin2& page);
void RestoreJoinPage2(frmJoin2& page);

// Next on the first page and Previous on the second: each opens the other page in its
// place and closes itself.
void JoinNext(frmJoin& page1);
void JoinPrevious(frmJoin2& page2);

}  // namespace brindle::app
