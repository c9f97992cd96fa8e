#pragma once

#include <string>

#include "shell/chrome_window.h"
#include "split/split_choice.h"

class QProgressBar;
class QPushButton;

namespace brindle::app {

class JobRunner;

// The quick split of a file named on the command line: the pieces go beside it, and the
// window closes itself once they are all written.
class frmSimple : public ChromeWindow {
    Q_OBJECT
public:
    explicit frmSimple(QWidget* parent = nullptr);

    const SplitChoiceControls& Choice() const { return choice_; }
    // Splits `path` instead, beside itself, as if the command line had named it.
    void ChooseFile(const std::string& path);

protected:
    bool TakesDrop(const QMimeData& drag) const override;
    void TakeDrop(const QMimeData& drag) override;

private:
    void Split();
    void Finished(bool ok, const QString& reason);
    void Cancelled(const QString& note);

    SplitChoiceControls choice_;
    QProgressBar* ProgressBar1_ = nullptr;
    QPushButton* cmdSplit_ = nullptr;
    JobRunner* runner_ = nullptr;
};

}  // namespace brindle::app
