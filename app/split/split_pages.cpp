#include "split/split_pages.h"

#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>

#include "shell/navigation.h"
#include "shell/path_text.h"
#include "shell/wizard_state.h"
#include "split/frm_split.h"
#include "split/frm_split2.h"
#include "split/frm_split3.h"
#include "split/recovery_option.h"
#include "split/split_state.h"

namespace brindle::app {
namespace {

QLineEdit* Box(const QWidget& page, const char* name) {
    return page.findChild<QLineEdit*>(QLatin1String(name));
}

std::string Text(const QWidget& page, const char* name) {
    const QLineEdit* box = Box(page, name);
    return box != nullptr ? box->text().toStdString() : std::string();
}

void SetTextUnlessEmpty(const QWidget& page, const char* name, const std::string& text) {
    if (QLineEdit* box = Box(page, name); box != nullptr && !text.empty()) {
        box->setText(QString::fromStdString(text));
    }
}

// The path boxes keep their bytes through the saved state.
std::string Path(const QWidget& page) {
    const QLineEdit* box = Box(page, "txtPath");
    return box != nullptr ? PathInBox(box).value_or(std::string()) : std::string();
}

void SetPathUnlessEmpty(const QWidget& page, const std::string& path, const char* name = "txtPath") {
    if (QLineEdit* box = Box(page, name); box != nullptr && !path.empty()) {
        ShowPath(box, path);
    }
}

// The group name's bytes too; a text that lost bytes is kept as typed.
std::string GroupBytes(const QWidget& page) {
    const QLineEdit* box = Box(page, "txtGP");
    return box != nullptr ? PathInBox(box).value_or(box->text().toStdString()) : std::string();
}

}  // namespace

void SaveSplitPage1(const frmSplit& page) {
    WizardState& saved = page.Values().wizard;
    saved.SavedSourceText = Path(page);
    for (int i = 0; i < 3; ++i) {
        const auto* option =
            page.findChild<QRadioButton*>(QStringLiteral("optSolution_%1").arg(i));
        if (option != nullptr && option->isChecked()) {
            saved.SavedSplitMode = static_cast<std::int16_t>(i);
            break;
        }
    }
    saved.SavedPieceCount = Text(page, "txtNum");
    saved.SavedPieceSize = Text(page, "txtSize");
    page.Values().split.SplitSourcePath = saved.SavedSourceText;
    if (const auto* unit = page.findChild<QComboBox*>(QStringLiteral("cboType"))) {
        saved.SavedSizeUnit = static_cast<std::int16_t>(unit->currentIndex());
    }
}

void RestoreSplitPage1(frmSplit& page) {
    const WizardState& saved = page.Values().wizard;
    SetPathUnlessEmpty(page, saved.SavedSourceText);
    if (auto* option = page.findChild<QRadioButton*>(
            QStringLiteral("optSolution_%1").arg(saved.SavedSplitMode))) {
        option->click();
    }
    SetTextUnlessEmpty(page, "txtNum", saved.SavedPieceCount);
    SetTextUnlessEmpty(page, "txtSize", saved.SavedPieceSize);
    if (auto* unit = page.findChild<QComboBox*>(QStringLiteral("cboType"))) {
        unit->setCurrentIndex(saved.SavedSizeUnit);
    }
    // The file's details at once, not half a second later.
    page.RefreshFileInfo();
}

void SaveSplitPage2(const frmSplit2& page) {
    WizardState& saved = page.Values().wizard;
    saved.SavedGroupText = GroupBytes(page);
    saved.SavedDestText = Path(page);
}

void RestoreSplitPage2(frmSplit2& page) {
    const WizardState& saved = page.Values().wizard;
    SetPathUnlessEmpty(page, saved.SavedGroupText, "txtGP");
    SetPathUnlessEmpty(page, saved.SavedDestText);
    page.Values().split.SplitDestFolder = Path(page);
    page.Values().split.SplitGroupName = GroupBytes(page);
}

void GoToSplitPage2(frmSplit& from) {
    auto* next = new frmSplit2(from.ValuesToHandOn());
    ReplaceWindow(&from, next, [&from, next] {
        RestoreSplitPage2(*next);
        SaveSplitPage1(from);
    });
}

void GoToSplitPage3(frmSplit2& from) {
    auto* next = new frmSplit3(from.ValuesToHandOn());
    ReplaceWindow(&from, next, [&from] { SaveSplitPage2(from); });
}

void BackToSplitPage1(frmSplit2& from) {
    auto* next = new frmSplit(from.ValuesToHandOn());
    ReplaceWindow(&from, next, [next] { RestoreSplitPage1(*next); });
}

void BackToSplitPage2(frmSplit3& from) {
    auto* next = new frmSplit2(from.ValuesToHandOn());
    from.findChild<RecoveryOption*>()->Save(from.Values().wizard);
    ReplaceWindow(&from, next, [next] { RestoreSplitPage2(*next); });
}

}  // namespace brindle::app
