#pragma once

#include <QWidget>
#include <cstdint>

class QCheckBox;
class QLabel;
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
    // The split the share is for: the note under the option says when it rebuilds no lost piece.
    void SetSplit(std::int64_t length, std::int32_t pieceDataSize);

    QCheckBox* chkRecovery;
    QSpinBox* txtRecoveryPercent;
    QLabel* lblRebuild;

private:
    void ShowRebuild();

    std::int64_t length_ = 0;
    std::int32_t pieceDataSize_ = 0;
};

}  // namespace brindle::app
