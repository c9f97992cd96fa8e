#include "split/split_pages.h"

#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>

#include "shell/wizard_state.h"
#include "split/frm_split.h"

namespace brindle::app {
namespace {

void SetTextUnlessEmpty(frmSplit& page, const char* name, const std::string& text) {
    auto* box = page.findChild<QLineEdit*>(QLatin1String(name));
    if (box != nullptr && !text.empty()) {
        box->setText(QString::fromStdString(text));
    }
}

}  // namespace

void RestoreSplitPage1(frmSplit& page) {
    const WizardState& saved = SharedWizardState();
    SetTextUnlessEmpty(page, "txtPath", saved.SavedSourceText);
    if (auto* option = page.findChild<QRadioButton*>(
            QStringLiteral("optSolution_%1").arg(saved.SavedSplitMode))) {
        option->click();
    }
    SetTextUnlessEmpty(page, "txtNum", saved.SavedPieceCount);
    SetTextUnlessEmpty(page, "txtSize", saved.SavedPieceSize);
    if (auto* unit = page.findChild<QComboBox*>(QStringLiteral("cboType"))) {
        unit->setCurrentIndex(saved.SavedSizeUnit);
    }
}

}  // namespace brindle::app
