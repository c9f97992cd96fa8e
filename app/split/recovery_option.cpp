#include "split/recovery_option.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QSpinBox>

#include "recovery/recovery.h"
#include "shell/wizard_state.h"

namespace brindle::app {
namespace {

constexpr int kDefaultPercent = 10;

}  // namespace

RecoveryOption::RecoveryOption(QWidget* parent)
    : QWidget(parent),
      chkRecovery(
          new QCheckBox(QCoreApplication::translate("RecoveryOption", "Add recovery data"), this)),
      txtRecoveryPercent(new QSpinBox(this)) {
    setObjectName(QStringLiteral("recoveryOption"));
    chkRecovery->setObjectName(QStringLiteral("chkRecovery"));
    chkRecovery->setToolTip(QCoreApplication::translate(
        "RecoveryOption",
        "Write recovery files beside the pieces, to rebuild a lost or damaged piece"));
    txtRecoveryPercent->setObjectName(QStringLiteral("txtRecoveryPercent"));
    txtRecoveryPercent->setAccessibleName(
        QCoreApplication::translate("RecoveryOption", "Recovery data, percent of the file"));
    txtRecoveryPercent->setRange(recovery::kMinPercent, recovery::kMaxPercent);
    txtRecoveryPercent->setSuffix(QStringLiteral(" %"));
    txtRecoveryPercent->setValue(kDefaultPercent);
    txtRecoveryPercent->setEnabled(false);
    connect(chkRecovery, &QCheckBox::toggled, txtRecoveryPercent, &QSpinBox::setEnabled);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(chkRecovery);
    row->addWidget(txtRecoveryPercent);
    row->addStretch(1);
}

int RecoveryOption::Percent() const {
    return chkRecovery->isChecked() ? txtRecoveryPercent->value() : 0;
}

void RecoveryOption::Restore(const WizardState& saved) {
    if (saved.SavedRecoveryPercent > 0) {
        txtRecoveryPercent->setValue(saved.SavedRecoveryPercent);
    }
    chkRecovery->setChecked(saved.SavedRecovery);
}

void RecoveryOption::Save(WizardState& saved) const {
    saved.SavedRecovery = chkRecovery->isChecked();
    saved.SavedRecoveryPercent = static_cast<std::int16_t>(txtRecoveryPercent->value());
}

}  // namespace brindle::app
