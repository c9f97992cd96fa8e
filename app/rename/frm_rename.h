#pragma once

#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QString>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "rename/apply_renames.h"
#include "rename/conflict_marks.h"
#include "rename/rename_list.h"
#include "rename/frm_rename2.h"
#include "shell/chrome_window.h"

class QHBoxLayout;
class QPushButton;
class QScrollArea;
class QTreeWidget;
class QTreeWidgetItem;

namespace brindle::app {

class ConflictPlanner;
class JobRunner;

// The "File Size" column: "3 KB", whole kilobytes, halves to even, never below 1, the number as
// the locale writes it ("1,234 KB", in German "1.234 KB"); empty for a file that could not be
// measured.
QString SizeText(std::optional<std::int64_t> bytes);

// Where the rule editor opens: docked beside the list inside the list's window where the
// platform cannot place windows or `room` cannot hold both side by side; otherwise beside the
// list, and where it would cover the list as it stands, the pair moves so both fit.
struct EditorPlace {
    bool docked = false;
    QPoint list;    // the list window's top left
    QPoint editor;  // the editor's top left when not docked
};
EditorPlace PlaceRuleEditor(const QRect& list, QSize editor, const QRect& room, bool placesWindows);
// The gap between the list and the editor beside it.
inline constexpr int kEditorGap = 12;

// The rename list: the files to rename with their new names, the buttons that fill and
// trim it, and the road to the rule editor and the renaming itself.
class frmRename : public ChromeWindow {
    Q_OBJECT
public:
    // A page of the window whose `values` it takes on; without them, of a new window.
    explicit frmRename(JobValuesPtr values = nullptr);
    ~frmRename() override;

    RenameList& List() { return list_; }
    // Shows every row's New File Name again, after the rule editor wrote them.
    void ShowNewNames();
    // Adds what an add dialog chose: Add Files appends, Add Folder puts the files on top.
    void AddFileString(const std::string& filestring, AddSource source);
    // Adds files as Add File(s) adds them and folders as Add Folder does (every file in it);
    // anything else is skipped.
    void AddPaths(const std::vector<std::string>& paths);
    // The rule editor while it is open.
    frmRename2* RuleEditor() const { return editor_; }
    // True while the rule editor stands inside this window.
    bool EditorDocked() const;
    // True while the renames run (off the interface thread).
    bool IsBusy() const { return busy_; }
    // Sorts the list by a heading as a click on it does: File Name in natural order, File
    // Size, File Location then name; a second click on the same heading reverses.
    void SortByColumn(int column);
    // True while the new names are checked for conflicts, off the interface thread, or their
    // marks are being shown.
    bool IsPlanning() const;

signals:
    // The renames have run and their message was shown.
    void renamesDone();
    // The rows' conflict marks show the new names' plan.
    void conflictsMarked();

protected:
    // Files are added as Add File(s) adds them, folders as Add Folder does.
    bool TakesDrop(const QMimeData& drag) const override;
    void TakeDrop(const QMimeData& drag) override;

private:
    void ShowAddDialog(AddSource source);
    void OpenNewNameDialog(QTreeWidgetItem* item);
    void ApplyRuleClicked();
    // Puts the new editor inside this window, beside the list, until it closes.
    void DockEditor();
    QScrollArea* ScrollEditorIfTooLarge(const QRect& room);
    void RenameFilesClicked();
    // Reverts the last rename run of this program, the list's or the command's, off the
    // interface thread.
    void UndoClicked();
    // "Undo Rename" is enabled exactly while there is a run to undo.
    void RefreshUndo();
    void changeEvent(QEvent* event) override;
    void SetBusy(bool busy);
    void RenamesDone(const RenameOutcome& outcome);
    void UndoDone(const UndoOutcome& outcome);
    // Makes the view show list_ anew, keeping the scroll position.
    void Rebuild();
    void SetChecks(bool checked);
    // Marks the rows whose new names conflict, by row key, and unmarks the others.
    void ShowConflicts(ConflictReasons reasons);
    // Shows conflicts_ from row `from` on, a slice of rows per turn of the event loop.
    void MarkRows(std::uint64_t pass, int from);
    // Shows the rows' new names from row `from` on, the same way.
    void NameRows(std::uint64_t pass, int from);
    void ItemChanged(QTreeWidgetItem* item, int column);

    RenameList list_;
    QTreeWidget* view_;
    QWidget* buttons_ = nullptr;
    QHBoxLayout* dock_ = nullptr;  // the list's column, then the docked editor
    int namesWidth_ = 0;                 // the list's File Name and New File Name columns
    QSize undockedSize_;
    QMetaObject::Connection undock_;
    QPointer<frmRename2> editor_;
    QPushButton* renameFiles_ = nullptr;
    QPushButton* undo_ = nullptr;
    JobRunner* renameRunner_ = nullptr;
    JobRunner* undoRunner_ = nullptr;
    bool filling_ = false;
    bool busy_ = false;
    ConflictPlanner* planner_ = nullptr;
    ConflictReasons conflicts_;  // what the marked rows show
    // While marks are being shown: the reasons rows not yet reached may still show.
    std::optional<ConflictReasons> shownBefore_;
    std::uint64_t markPass_ = 0;
    std::uint64_t namePass_ = 0;
    int sortColumn_ = -1;
    bool sortReversed_ = false;
};

}  // namespace brindle::app
