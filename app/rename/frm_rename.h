#pragma once

#include <QPointer>
#include <QString>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "rename/apply_renames.h"
#include "rename/rename_list.h"
#include "rename/frm_rename2.h"
#include "shell/chrome_window.h"

class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace brindle::app {

class JobRunner;

// The "File Size" column: "3 KB", whole kilobytes, halves to even, never below 1; empty for a
// file that could not be measured.
QString SizeText(std::optional<std::int64_t> bytes);

// The rename list: the files to rename with their new names, the buttons that fill and
// trim it, and the road to the rule editor and the renaming itself.
class frmRename : public ChromeWindow {
    Q_OBJECT
public:
    explicit frmRename(QWidget* parent = nullptr);

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
    // True while the renames run (off the interface thread).
    bool IsBusy() const { return busy_; }

signals:
    // The renames have run and their message was shown.
    void renamesDone();

protected:
    // Files are added as Add File(s) adds them, folders as Add Folder does.
    bool TakesDrop(const QMimeData& drag) const override;
    void TakeDrop(const QMimeData& drag) override;

private:
    void ShowAddDialog(AddSource source);
    void OpenNewNameDialog(QTreeWidgetItem* item);
    void ApplyRuleClicked();
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
    void ItemChanged(QTreeWidgetItem* item, int column);

    RenameList list_;
    QTreeWidget* view_;
    QWidget* buttons_ = nullptr;
    QPointer<frmRename2> editor_;
    QPushButton* renameFiles_ = nullptr;
    QPushButton* undo_ = nullptr;
    JobRunner* renameRunner_ = nullptr;
    JobRunner* undoRunner_ = nullptr;
    bool filling_ = false;
    bool busy_ = false;
};

}  // namespace brindle::app
