#pragma once

#include <QCoreApplication>
#include <QString>
#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>

#include "shell/form_controls.h"
#include "shell/job_runner.h"
#include "split/split_planning.h"
#include "split/split_state.h"

class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QToolButton;
class QWidget;

namespace brindle::app {

// The three ways to split and their fields, as both split windows show them.
struct SplitChoiceControls {
    std::array<QRadioButton*, 3> optSolution{};
    QLineEdit* txtNum = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* txtSize = nullptr;
    QComboBox* cboType = nullptr;
    QLabel* lblPreset = nullptr;
    // Fills the size and its unit for a common limit; the first entry chooses none.
    QComboBox* cboPreset = nullptr;

    // Lowest index whose option is chosen; -1 when none is.
    int ChosenIndex() const;
    // The three rows go in `grid`, their fields starting at least `fieldIndent` pixels right
    // of the options (the default look); the first option reads `firstCaption`.
    static SplitChoiceControls Build(QWidget* parent, QGridLayout* grid, int fieldIndent,
                                     const QString& firstCaption);
};

// Length of a regular file; -1 for a path that names none (missing, a folder, a device).
std::int64_t RegularFileLength(const std::string& path);

// Checks the choice against the source and records it in the window's split `state`. A
// rejection is shown and its field focused with its text selected; then false.
bool CheckChoiceOnWindow(QWidget* window, const SplitChoiceControls& controls,
                         std::int64_t sourceLength, SplitState& state);
// Shows why a choice was refused in a message box with the problem's title and icon, and
// focuses the field that holds the problem, its whole text selected.
void ShowRejection(QWidget* window, const SplitChoiceControls& controls, const Rejection& rejection);

// Data bytes per piece for the recorded choice. The state is left as it is, so a page that
// is shown again cuts the same pieces.
std::int32_t PieceDataSize(const SplitState& state, std::int64_t sourceLength);

// Checks what the split would replace before anything is written: a file that is not the
// source's own earlier piece (another file's group, a file that is not a piece) is replaced
// only if the user says Yes (default No). False when the user said No; `replaceOthers` is
// the user's word for SplitWork.
bool ConfirmSplitTargets(QWidget* window, const SplitState& state, std::int32_t pieceDataSize,
                         bool* replaceOthers);

// The split of `state`'s source into its destination, "qmf" pieces dated today,
// with recovery files of `recoveryPercent` of its size beside them when not 0.
JobRunner::Work SplitWork(const SplitState& state, std::int32_t pieceDataSize, bool replaceOthers,
                          int recoveryPercent = 0);

// "Holiday Film.mkv was split into 3 pieces.", for the notification when the split ends.
QString SplitDoneText(const SplitState& state, std::int32_t pieceDataSize);

inline constexpr auto kFailedSplit = QT_TRANSLATE_NOOP("SplitChoice", "Fail to split the file");

}  // namespace brindle::app
