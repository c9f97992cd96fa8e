#include "join/join_pages.h"

#include <QLineEdit>
#include <QTreeWidget>

#include "format/discovery.h"
#include "join/frm_join.h"
#include "join/frm_join2.h"
#include "join/join_state.h"
#include "shell/navigation.h"
#include "shell/path_text.h"
#include "shell/wizard_state.h"

namespace brindle::app {

void SaveJoinPage1(frmJoin& page) {
    WizardState& saved = page.Values().wizard;
    saved.SavedGroupList.clear();
    for (int i = 0; i < page.group->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = page.group->topLevelItem(i);
        // A group keeps its name's bytes; the empty list's line is kept as its text.
        saved.SavedGroupList.push_back(item->data(0, Qt::UserRole).isNull() ? item->text(0).toStdString()
                                                                           : ItemBytes(item));
    }
    saved.SavedJoinPathText = PathInBox(page.txtPath).value_or(page.txtPath->text().toStdString());
    page.Values().join.JoinFolder = page.File1.Path;
}

void RestoreJoinPage1(frmJoin& page) {
    const WizardState& saved = page.Values().wizard;
    if (!saved.SavedJoinPathText.empty()) {
        ShowPath(page.txtPath, saved.SavedJoinPathText);
    }
    if (const std::string& folder = page.Values().join.JoinFolder; !folder.empty()) {
        page.File1.Path = folder;
    }
    for (const std::string& text : saved.SavedGroupList) {
        auto* item = new QTreeWidgetItem(page.group, {DisplayPath(text)});
        if (text != kNoGroupText) {
            SetItemBytes(item, text);
        }
    }
}

void SaveJoinPage2(frmJoin2& page) {
    // The target's bytes: one chosen in the dialog need not be UTF-8.
    page.Values().wizard.SavedTargetText =
        PathInBox(page.txtTarget).value_or(page.txtTarget->text().toStdString());
}

void RestoreJoinPage2(frmJoin2& page) {
    const std::string& target = page.Values().wizard.SavedTargetText;
    if (!target.empty()) {
        ShowPath(page.txtTarget, target);
    }
}

void JoinNext(frmJoin& page1) {
    auto* page2 = new frmJoin2(page1.ValuesToHandOn());
    page2->File1.Path = page1.Values().join.JoinFolder;
    ReplaceWindow(&page1, page2, [&page1, page2] {
        SaveJoinPage1(page1);
        RestoreJoinPage2(*page2);
    });
}

void JoinPrevious(frmJoin2& page2) {
    auto* page1 = new frmJoin(page2.ValuesToHandOn());
    RestoreJoinPage1(*page1);
    SaveJoinPage2(page2);
    ReplaceWindow(&page2, page1);
}

}  // namespace brindle::app
