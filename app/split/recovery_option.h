#pragma once

#include <QWidget>

class QCheckBox;
class QSpinBox;

namespace brindle {
struct WizardState;
}

namespace brindle::app {

// "Add recovery data" and how much, as a share of the group's size: the split then writes
// recovery files beside the pieces, so a lost or damaged piece can be rebuilt at the join.
// Off unless the user ticks it; the share can be set only while it is ticked.
class RecoveryOption final : public QWidget {
    Q_OBJECT
public:
    explicit RecoveryOption(QWidget* parent);

    // The share asked for, 0 when off.
    int Percent() const;
    // The wizard's saved state: read when the page is built, written when it is left.
    void Restore(const WizardState& saved);
    void Save(WizardState& saved) const;

    QCheckBox* chkRecovery;
    QSpinBox* txtRecoveryPercent;
};

}  // namespace brindle::app
