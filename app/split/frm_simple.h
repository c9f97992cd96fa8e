#pragma once

#include <string>

#include "shell/chrome_window.h"
#include "split/split_choice.h"

class QPushButton;

namespace brindle::app {

class JobPanel;

// The quick split of a file named on the command line: the pieces go beside it, and the
// window closes itself once they are all written.
class frmSimple : public ChromeWindow {
    Q_OBJECT
public:
    // A page of the window whose `values` it takes on; without them, of a new window.
    explicit frmSimple(JobValuesPtr values = nullptr);

    const SplitChoiceControls& Choice() const { return choice_; }
    // Splits `path` instead, beside itself, as if the command line had named it.
    void ChooseFile(const std::string& path);

protected:
    bool TakesDrop(const QMimeData& drag) const override;
    void TakeDrop(const QMimeData& drag) override;

private:
    void Split();
    void Finished(bool ok, const QString& reason);

    SplitChoiceControls choice_;
    QPushButton* cmdSplit_ = nullptr;
    JobPanel* panel_ = nullptr;  // ProgressBar1 and Cancel
};

}  // namespace brindle::app
