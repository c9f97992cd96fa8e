#pragma once

#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "join/join_state.h"
#include "shell/form_controls.h"

class QLineEdit;
class QPushButton;
class QToolButton;
class QWidget;

namespace brindle::app {

class JobRunner;

// The join windows' file list of the group's folder. Only its folder is kept: the presence
// check lists the folder afresh when the join starts.
struct FileList {
    std::string Path;
};

// The save dialog's filter for the stored name: "avi File(*.avi)" for movie.avi, the whole
// name standing in for the extension when it has no ".". Empty for an empty name.
QString TargetFilter(const QString& originalName);

// Shows the save dialog for the joined file, preset to the stored name in the folder of the
// target `box` names (else the group's folder). The chosen path is shown in `box` and
// returned as bytes; nothing when the user cancelled or the answer lost bytes (refused with
// a message). The dialog confirms a replacement.
std::optional<std::string> ChooseTarget(QWidget* parent, QLineEdit* box, const JoinState& state);

// The target a destination box names, as bytes, taken as the user sees it: a relative name
// lies beside the pieces in `folder`. Nothing when its text lost bytes; the refusal has then
// been shown and the box focused.
std::optional<std::string> TargetPath(QWidget* window, QLineEdit* box, const std::string& folder);

// The folder part of a target, separator included ("/out/" for /out/movie.avi).
QString TargetFolder(const QString& target);

using PiecesFound = std::function<void(std::optional<std::vector<std::string>>, bool recovery)>;

// The pieces of `state`'s group, in order, found by exact name from the count
// in the first piece, handed to `then` on the interface thread: the folder is listed on
// another thread, the window showing that it is busy meanwhile. Nothing when a piece is
// missing ("File Missing." was shown) or the first piece cannot be read ("Fail to merge the
// files." was shown); `recovery` when recovery files lie beside the group, and then no piece
// when one of them is missing or unsound (the recovery files may rebuild it). The folder is listed through the window's `runner`; `then` is not
// called once the window is gone.
void CheckPieces(QWidget* window, JobRunner& runner, const JoinState& state, PiecesFound then);

// Joins the pieces into `target` on the worker thread; `runner` reports the end.
void StartJoin(JobRunner& runner, const JoinState& state, std::vector<std::string> pieces,
               const std::string& target, bool replaceExisting);

// A click on either join window's join button, for the group of `state` (the window's own,
// read at the click): the pieces are found (CheckPieces), the typed
// target read from `targetBox` (TargetPath), and a file already there is replaced only when
// the user says Yes (default No) or the save dialog confirmed that very path
// (`confirmedInDialog`). Then the join starts. The pieces are looked for off the window's
// thread (the target box waits meanwhile). `start`, the button clicked, stays down; when the
// user keeps the file that is there, it comes back and the focus goes to the target box, to
// choose another. `then` hears that the join started, with its output, or that the pieces
// were refused.
enum class JoinClick { kStarted, kPiecesRefused };
using JoinClicked = std::function<void(JoinClick, const std::string& target)>;
void ClickJoin(QWidget* window, JobRunner& runner, const JoinState& state, QLineEdit* targetBox,
               QPushButton* start, const std::string& confirmedInDialog, JoinClicked then);

// "Fail to merge the files.", with the reason under it.
void ShowJoinFailed(QWidget* window, const QString& reason);

}  // namespace brindle::app
