#include "split/recovery_option.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QSpinBox>
#include <QVBoxLayout>

#include "recovery/recovery.h"
#include "shell/wizard_state.h"
#include "split/split_engine.h"

namespace brindle::app {
namespace {

constexpr int kDefaultPercent = 10;

}  // namespace

RecoveryOption::RecoveryOption(QWidget* parent)
    : QWidget(parent),
      chkRecovery(
          new QCheckBox(QCoreApplication::translate("RecoveryOption", "Add recovery data"), this)),
      txtRecoveryPercent(new QSpinBox(this)),
      lblRebuild(new QLabel(QCoreApplication::translate(
                                "RecoveryOption",
                                "This share can rebuild damaged blocks, but no whole lost piece: "
                                "choose a larger share."),
                            this)) {
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

    lblRebuild->setObjectName(QStringLiteral("lblRebuild"));
    lblRebuild->setWordWrap(true);
    lblRebuild->hide();
    connect(chkRecovery, &QCheckBox::toggled, this, &RecoveryOption::ShowRebuild);
    connect(txtRecoveryPercent, &QSpinBox::valueChanged, this, &RecoveryOption::ShowRebuild);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    auto* row = new QHBoxLayout;
    row->addWidget(chkRecovery);
    row->addWidget(txtRecoveryPercent);
    row->addStretch(1);
    column->addLayout(row);
    column->addWidget(lblRebuild);
}

void RecoveryOption::SetSplit(std::int64_t length, std::int32_t pieceDataSize) {
    length_ = length;
    pieceDataSize_ = pieceDataSize;
    ShowRebuild();
}

void RecoveryOption::ShowRebuild() {
    lblRebuild->setVisible(Percent() > 0 && length_ > 0 &&
                           RebuildablePieces(length_, pieceDataSize_, Percent()) == 0);
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
