#pragma once

#include <QString>
#include <cstdint>

#include "shell/chrome_window.h"

class QLabel;
class QPushButton;

namespace brindle::app {

class JobPanel;
class JobRunner;
class RecoveryOption;

// The split wizard's last page: the summary and the split itself.
class frmSplit3 : public ChromeWindow {
    Q_OBJECT
public:
    // A page of the window whose `values` it takes on; without them, of a new window.
    explicit frmSplit3(JobValuesPtr values = nullptr);

    // Data bytes per piece this page cuts, worked out from the recorded choice at load.
    std::int32_t PieceDataSize() const { return pieceDataSize_; }
    const JobRunner* Runner() const;

private:
    void Split();
    void Finished(bool ok, const QString& reason);

    std::int32_t pieceDataSize_ = 0;
    QString destination_;
    QLabel* lblinfo_ = nullptr;
    QPushButton* cmdSplit_ = nullptr;
    JobPanel* panel_ = nullptr;  // progress1, percent and Cancel
    RecoveryOption* recovery_ = nullptr;
};

}  // namespace brindle::app
